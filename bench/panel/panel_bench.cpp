// Read All Registers (burst and single) and one stepped write with read-back, timed on the
// main window against a simulated board at realistic latency. Each is compared with what the
// board's own model says the same reports need, plus the pauses the procedure prescribes:
// 0.2 s before a read-back, and 1 ms for each drain of stale answers (shown apart). Read All
// is measured again with the bus trace window open (recording, its table brought up to date
// after each run); with the window closed the sessions have no observer at all.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_transport.h"
#include "ui/common/message_presenter.h"
#include "ui/main/frm_main.h"
#include "ui/trace/frm_trace.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

// No message is expected; one would spoil the timing, so it is counted and answered Retry.
class CountingPresenter : public vrq::ui::MessagePresenter {
  public:
    vrq::link::MessageAnswer Show(QWidget*, const std::string& text, vrq::link::MessageButtons,
                                  const std::string&) override {
        std::fprintf(stderr, "unexpected message: %s\n", text.c_str());
        ++count;
        return vrq::link::AnswerRetry;
    }
    int count = 0;
};

struct Row {
    std::string name;
    int reports = 0;
    double modelMs = 0;   // the board's model for the reports sent
    double pausesMs = 0;  // DelaySeconds the procedure prescribes
    double drainMs = 0;   // DrainInput's 1 ms waits
    double wallMs = 0;    // measured, mean over the runs
};

constexpr int kRuns = 20;

Row Measure(const std::string& name, vrq::sim::SimBoard& board, double pausesMs, int drains,
            const std::function<void()>& operation) {
    Row row{name};
    row.pausesMs = pausesMs;
    row.drainMs = drains * 1.0;
    double wall = 0;
    double model = 0;
    for (int run = 0; run < kRuns; ++run) {
        board.ClearCommands();
        const auto start = Clock::now();
        operation();
        wall += Ms(Clock::now() - start).count();
        for (const auto& report : board.Commands()) {
            model += Ms(board.ModelTime(report)).count();
        }
        row.reports = static_cast<int>(board.Commands().size());
    }
    row.wallMs = wall / kRuns;
    row.modelMs = model / kRuns;
    return row;
}

// How late this host wakes from a 1 ms sleep, as the simulated board's answers do: the part
// of any excess that is the operating system's, not the program's.
double SleepOvershootUs() {
    constexpr int kSamples = 100;
    double late = 0;
    for (int i = 0; i < kSamples; ++i) {
        const auto due = Clock::now() + std::chrono::milliseconds(1);
        std::this_thread::sleep_until(due);
        late += std::chrono::duration<double, std::micro>(Clock::now() - due).count();
    }
    return late / kSamples;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);

    vrq::sim::SimTransport transport;
    transport.AddBoard();
    transport.SetZeroLatency(false);
    auto window = std::make_unique<vrq::ui::FrmMain>(transport);
    auto presenter = std::make_unique<CountingPresenter>();
    CountingPresenter& messages = *presenter;
    window->SetMessagePresenter(std::move(presenter));
    window->Form_Load();
    window->show();
    window->Link().SetI2CAddress(vrq::device::kDefaultChipAddressByte);
    vrq::sim::SimBoard& board = transport.Board(0);

    auto* burst = window->findChild<QCheckBox*>(QStringLiteral("chkBurstRead"));
    auto* readAll = window->findChild<QPushButton*>(QStringLiteral("cmdReadAllRegisters"));
    auto* box3 = window->findChild<QLineEdit*>(QStringLiteral("txtRegVal_3"));
    if (burst == nullptr || readAll == nullptr || box3 == nullptr) {
        std::fprintf(stderr, "controls missing\n");
        return 1;
    }

    std::vector<Row> rows;
    burst->setChecked(true);
    rows.push_back(Measure("Read All, burst", board, 0, 1, [&] { readAll->click(); }));
    burst->setChecked(false);
    rows.push_back(Measure("Read All, single", board, 0, 1, [&] { readAll->click(); }));
    box3->setText(QStringLiteral("12"));
    rows.push_back(Measure("Up in box 3 (write, read-back)", board, 200, 1,
                           [&] { QTest::keyClick(box3, Qt::Key_Up); }));

    auto* trace = window->Tools().Show<vrq::ui::FrmTrace>(window->Trace());
    burst->setChecked(true);
    rows.push_back(Measure("Read All, burst, trace open", board, 0, 1, [&] {
        readAll->click();
        trace->Refresh();
    }));
    burst->setChecked(false);
    rows.push_back(Measure("Read All, single, trace open", board, 0, 1, [&] {
        readAll->click();
        trace->Refresh();
    }));
    trace->close();

    std::printf("%d runs each, simulated board at realistic latency (bus %u MHz / %u)\n\n", kRuns,
                board.BaseClockMHz(), board.Divider());
    std::printf("%-32s %7s %9s %9s %9s %11s %9s %7s\n", "operation", "reports", "model ms",
                "pause ms", "drain ms", "expected ms", "wall ms", "ratio");
    bool withinGoal = true;
    for (const Row& row : rows) {
        const double expected = row.modelMs + row.pausesMs + row.drainMs;
        const double ratio = row.wallMs / expected;
        withinGoal = withinGoal && ratio <= 1.05;
        std::printf("%-32s %7d %9.2f %9.2f %9.2f %11.2f %9.2f %7.3f\n", row.name.c_str(),
                    row.reports, row.modelMs, row.pausesMs, row.drainMs, expected, row.wallMs,
                    ratio);
    }
    // The same figures as rows of scripts/bench's table.
    for (const Row& row : rows) {
        const double expected = row.modelMs + row.pausesMs + row.drainMs;
        std::printf(
            "row: %s (%d report%s) | %.2f ms | board model %.2f ms + pauses %.0f ms + "
            "drains %.0f ms = %.2f ms | %.3f\n",
            row.name.c_str(), row.reports, row.reports == 1 ? "" : "s", row.wallMs, row.modelMs,
            row.pausesMs, row.drainMs, expected, row.wallMs / expected);
    }
    std::printf("\nhost wakes %.0f us late from each sleep (one per answer and per drain)\n",
                SleepOvershootUs());
    std::printf("goal (wall <= 1.05 x expected): %s; messages: %d\n", withinGoal ? "met" : "missed",
                messages.count);
    std::fflush(stdout);
    return withinGoal && messages.count == 0 ? 0 : 2;
}
