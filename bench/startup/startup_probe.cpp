// Start-up probe: shows the program's main window on one simulated board answering at once
// (or, built with VRQ_BARE_WINDOW, an empty Qt Widgets window of the same size; with
// VRQ_BARE_TEXT as well, one that shows a line of text, which needs the fonts set up), and
// once the window's first paint is on screen prints the wall-clock time and its resident
// memory, then ends at once. The script beside it measures from process start to that moment.
// On the way it notes the wall-clock time as each step of start-up ends ("phases"), so that the
// script can say where the time goes.
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#ifndef VRQ_BARE_WINDOW
#include "sim/sim_transport.h"
#include "ui/main/app_look.h"
#include "ui/main/frm_main.h"
#endif

namespace {

long long NowNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// "name:ns" for each step done, in order.
QByteArray phases;

void Phase(const char* name) {
    phases += QByteArray(phases.isEmpty() ? "" : ",") + name + ':' + QByteArray::number(NowNs());
}

long StatusKb(const QByteArray& status, const char* field) {
    const int at = status.indexOf(field);
    if (at < 0) {
        return -1;
    }
    return std::strtol(status.constData() + at + qstrlen(field), nullptr, 10);
}

void Report() {
    const long long now = NowNs();
    QFile file(QStringLiteral("/proc/self/status"));
    const QByteArray status = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    std::printf("phases=%s\n", phases.constData());
    std::printf("shown_ns=%lld rss_kb=%ld hwm_kb=%ld\n", now, StatusKb(status, "VmRSS:"),
                StatusKb(status, "VmHWM:"));
    std::fflush(stdout);
    std::_Exit(0);
}

// Reports once the first paint of the window has been done and flushed.
class FirstPaint : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            Phase("painting");
            QTimer::singleShot(0, &Report);
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    bool seen_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    Phase("loaded");
    QApplication app(argc, argv);
    Phase("application");
    FirstPaint probe;
#ifdef VRQ_BARE_WINDOW
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("VRQ66208A Evaluation Software"));
    window.setFixedSize(599, 444);
#ifdef VRQ_BARE_TEXT
    QLabel text(QStringLiteral("VRQ66208A Evaluation Software"), &window);
    text.setGeometry(8, 8, 300, 20);
#endif
    Phase("window");
#else
    Q_INIT_RESOURCE(resources);
    vrq::ui::ApplyApplicationLook(app);
    Phase("look");
    vrq::sim::SimTransport boards;
    boards.SetZeroLatency(true);
    boards.AddBoard();
    vrq::ui::FrmMain window(boards);
    Phase("window");
    window.Form_Load();
    Phase("boards");
#endif
    window.installEventFilter(&probe);
    window.show();
    Phase("show");
    return QApplication::exec();
}
