// A full address scan of the main window on a simulated board that answers when a real one
// would, timed from the click to the scan's end, against what the scan cannot avoid: the
// drain of stale answers before it, and per probe the board's answer time plus the 0.1 s
// pause. The bus holds nothing (the not-found message is answered No) or, with
// --chip-at-top, a chip at 7-bit 0x7F that the last probe finds.
// Usage: scan_bench [--chip-at-top]     (uses Qt's offscreen platform unless one is set)
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "sim/sim_transport.h"
#include "ui/common/message_presenter.h"
#include "ui/link/board_link.h"
#include "ui/main/address_logic.h"
#include "ui/main/app_look.h"
#include "ui/main/frm_main.h"

namespace {

class AnswerNo : public vrq::ui::MessagePresenter {
  public:
    explicit AnswerNo(int& shown) : shown_(shown) {}
    vrq::link::MessageAnswer Show(QWidget* /*parent*/, const std::string& /*text*/,
                                  vrq::link::MessageButtons /*buttons*/,
                                  const std::string& /*title*/) override {
        ++shown_;
        return vrq::link::AnswerNo;
    }

  private:
    int& shown_;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const bool chipAtTop = argc > 1 && std::strcmp(argv[1], "--chip-at-top") == 0;
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(resources);
    vrq::ui::ApplyApplicationLook(app);

    using namespace std::chrono;
    vrq::sim::SimTransport boards;  // answers with a real board's timing
    vrq::sim::SimBoard& board = boards.AddBoard(chipAtTop ? 0x7F : vrq::sim::kDefaultChipAddress7);
    board.Chip().SetAcknowledge(chipAtTop);

    vrq::ui::FrmMain window(boards);
    int messages = 0;
    window.SetMessagePresenter(std::make_unique<AnswerNo>(messages));
    window.Form_Load();
    window.show();
    // Let the window settle and the clock list's acknowledgement arrive before the clock starts.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 100) {
        QCoreApplication::processEvents();
    }
    board.ClearCommands();

    auto* scan = window.findChild<QPushButton*>(QStringLiteral("cmdScanI2Caddress"));
    const auto start = steady_clock::now();
    scan->click();
    const duration<double> wall = steady_clock::now() - start;

    int probes = 0;
    microseconds boardTime{0};
    for (const vrq::board::Report& command : board.Commands()) {
        if (command[vrq::board::off::kCommand] == vrq::board::CommandI2C) {
            ++probes;
            boardTime += board.ModelTime(command);
        }
    }
    const duration<double> drain = milliseconds(vrq::link::kDrainWaitMs);
    const duration<double> pauses = probes * duration<double>(vrq::ui::kProbePauseSeconds);
    const duration<double> expected = drain + pauses + boardTime;

    std::printf("bus: %s; probes %d, found at %02X, messages %d\n",
                chipAtTop ? "chip at 7-bit 0x7F" : "nothing", probes, window.Link().I2CAddress(),
                messages);
    std::printf("expected: drain %.1f ms + pauses %.1f ms + board %.1f ms = %.1f ms\n",
                drain.count() * 1e3, pauses.count() * 1e3, boardTime.count() / 1e3,
                expected.count() * 1e3);
    std::printf("wall:     %.1f ms, %.3f ms more per probe\n", wall.count() * 1e3,
                (wall - expected).count() * 1e3 / probes);
    std::printf("ratio:    %.4fx (goal: within 1.02x)\n", wall / expected);
    std::printf(
        "row: Full address scan, %s (%d probes) | %.2f s | drain + pauses + board model "
        "= %.2f s | %.4f\n",
        chipAtTop ? "chip at 0x7F" : "nothing on the bus", probes, wall.count(), expected.count(),
        wall / expected);
    std::fflush(stdout);
    window.Link().CloseBoards();
    return probes == static_cast<int>(vrq::ui::kScanProbeCount) ? 0 : 1;
}
