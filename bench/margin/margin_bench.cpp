// The link-margin tools against a simulated board at realistic latency, on the real clock:
//   - a sweep's wall time against the sum of its dwells plus what the board's own model says
//     its reports need (goal: within 1.02 times that), driven by a loop as the command-line
//     tool would and by the window's timer;
//   - the monitor's processor time at five polls a second in the window, its plot already
//     full (goal: under 1% of one core), measured with getrusage over ten seconds, against
//     the same window idle.
#include <sys/resource.h>

#include <QApplication>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "margin/register_access.h"
#include "margin/sweep.h"
#include "sim/sim_transport.h"
#include "ui/common/message_presenter.h"
#include "ui/link/board_link.h"
#include "ui/margin/frm_link_margin.h"

namespace {

using Steady = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr double kDwellSeconds = 0.1;
constexpr int kRuns = 3;
constexpr double kSweepGoal = 1.02;
constexpr double kMonitorGoalPercent = 1.0;
constexpr double kMonitorSeconds = 10.0;

// No message is expected; one would spoil the timing, so it is counted and answered.
struct CountingHost : vrq::link::LinkHost, vrq::ui::MessagePresenter {
    vrq::link::MessageAnswer ShowMessage(const std::string& text, vrq::link::MessageButtons,
                                         const std::string&) override {
        std::fprintf(stderr, "unexpected message: %s\n", text.c_str());
        ++count;
        return vrq::link::AnswerYes;
    }
    vrq::link::MessageAnswer Show(QWidget*, const std::string& text,
                                  vrq::link::MessageButtons buttons,
                                  const std::string& title) override {
        return ShowMessage(text, buttons, title);
    }
    void BoardsFound() override {}
    void EndProgram() override { std::_Exit(3); }
    void HandlePendingEvents() override {}
    int count = 0;
};

// What the board's model says the reports sent since the last clear need.
double ModelSeconds(vrq::sim::SimBoard& board) {
    double seconds = 0;
    for (const auto& report : board.Commands()) {
        seconds += Seconds(board.ModelTime(report)).count();
    }
    return seconds;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

// Runs the event loop for seconds; the processor time it took, as a share of one core.
double CorePercentOver(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    const double cpu = CpuSeconds();
    const auto start = Steady::now();
    loop.exec();
    return 100.0 * (CpuSeconds() - cpu) / Seconds(Steady::now() - start).count();
}

struct Timing {
    double model = 0;  // seconds the board's model gives the reports sent
    double wall = 0;
};

// The run with the median ratio of wall time to model time (the machine may be busy with
// other work in any one of them).
Timing MedianRun(vrq::sim::SimBoard& board, const std::function<void()>& sweep) {
    std::vector<Timing> runs;
    for (int i = 0; i < kRuns; ++i) {
        board.ClearCommands();
        const auto start = Steady::now();
        sweep();
        runs.push_back({ModelSeconds(board), Seconds(Steady::now() - start).count()});
    }
    std::sort(runs.begin(), runs.end(),
              [](const Timing& a, const Timing& b) { return a.wall - a.model < b.wall - b.model; });
    return runs[runs.size() / 2];
}

bool Report(const char* name, double dwells, const Timing& timing) {
    const double ratio = timing.wall / (dwells + timing.model);
    std::printf("%-28s %9.3f %9.3f %9.3f %7.4f\n", name, dwells, timing.model, timing.wall, ratio);
    return ratio <= kSweepGoal;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);

    vrq::sim::SimTransport transport;
    transport.SetZeroLatency(false);
    transport.AddBoard().Chip().SetCables(vrq::sim::DefaultCables());
    vrq::sim::SimBoard& board = transport.Board(0);
    CountingHost host;
    vrq::board::ExchangeHub hub;
    vrq::link::BoardLink link(transport, host, hub);
    link.FindBoards();
    link.SetI2CAddress(vrq::device::kDefaultChipAddressByte);
    vrq::link::LinkRegisters registers(link);
    const std::uint8_t checkerOn = 0x04;
    registers.WriteOne(0x09, checkerOn);

    std::printf(
        "sweep of channel A, 16 points of %.1f s, simulated board at realistic latency; "
        "median of %d runs\n\n",
        kDwellSeconds, kRuns);
    std::printf("%-28s %9s %9s %9s %7s\n", "driven by", "dwells s", "model s", "wall s", "ratio");
    const double dwells = 16 * kDwellSeconds;

    // A loop, as the command-line tool drives it.
    vrq::margin::SweepSettings settings;
    settings.dwell =
        std::chrono::duration_cast<vrq::board::Clock::Duration>(Seconds(kDwellSeconds));
    bool sweepMet = Report("a loop", dwells, MedianRun(board, [&] {
                               const auto before = vrq::margin::ReadLinkState(registers);
                               vrq::margin::SweepRun run(registers, link.TheClock(), settings);
                               run.Start(*before);
                               vrq::margin::RunToEnd(run, link.TheClock());
                           }));

    // The window's timer, through the event loop. The window reads 0x01..0x09 before it
    // starts: inside the time measured, and in the model's time.
    vrq::ui::FrmLinkMargin window(link, hub, host);
    window.show();
    QApplication::processEvents();
    window.findChild<QDoubleSpinBox*>(QStringLiteral("spnDwell"))->setValue(kDwellSeconds);
    auto* start = window.findChild<QPushButton*>(QStringLiteral("cmdSweepStart"));
    sweepMet = Report("the window's timer", dwells,
                      MedianRun(board,
                                [&] {
                                    start->click();
                                    while (window.Sweeping()) {
                                        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
                                    }
                                })) &&
               sweepMet;
    std::printf("goal (wall <= %.2f x dwells + model): %s\n\n", kSweepGoal,
                sweepMet ? "met" : "missed");

    // The monitor: idle first, then polling with a full plot.
    const double idle = CorePercentOver(kMonitorSeconds / 2);
    window.findChild<QDoubleSpinBox*>(QStringLiteral("spnPollInterval"))->setValue(0.2);
    window.findChild<QPushButton*>(QStringLiteral("cmdMonitorStart"))->click();
    for (int poll = 0; poll < vrq::ui::FrmLinkMargin::kPlotPoints; ++poll) {
        window.MonitorTick();
    }
    const auto polls = board.Commands().size();
    const double monitoring = CorePercentOver(kMonitorSeconds);
    const auto pollsMade = board.Commands().size() - polls;
    window.findChild<QPushButton*>(QStringLiteral("cmdMonitorStop"))->click();
    const double cost = monitoring - idle;
    std::printf("monitor, 5 polls a second for %.0f s (%zu polls), plot full:\n", kMonitorSeconds,
                pollsMade);
    std::printf("  window idle %.3f%% of a core, monitoring %.3f%%: the monitor costs %.3f%%\n",
                idle, monitoring, cost);
    const bool monitorMet = monitoring < kMonitorGoalPercent;
    std::printf("goal (monitoring under %.0f%% of one core): %s; messages: %d\n",
                kMonitorGoalPercent, monitorMet ? "met" : "missed", host.count);
    std::fflush(stdout);
    return sweepMet && monitorMet && host.count == 0 ? 0 : 2;
}
