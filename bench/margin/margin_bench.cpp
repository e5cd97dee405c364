// The link-margin tools against a simulated board at realistic latency, on the real clock:
//   - a sweep's wall time against the time its points counted (each its dwell, or less when
//     it stopped early at its errors) plus what the board's own model says its reports need
//     (goal: within 1.02 times that), driven by a loop as the command-line tool does and by
//     the window's timer;
//   - the monitor's processor time at five polls a second in the window, its plot already
//     full, and the command-line monitor at ten polls a second (goal: under 1% of one core),
//     measured with getrusage, against the same window idle.
// Lines "row: ..." join the table of scripts/bench.
#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
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

#include "cli/cli.h"
#include "cli/command_line.h"
#include "cli/output.h"
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
// Readings taken before the monitor is measured: ten minutes at 1 s, the history well beyond
// what the plot draws.
constexpr int kMonitorHistoryPolls = 600;

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
    double dwells = 0;  // seconds the points counted
};

double Counted(const vrq::margin::SweepResult& result) {
    double seconds = 0;
    for (const auto& point : result.points) {
        seconds += point.tally.seconds;
    }
    return seconds;
}

// The run with the median ratio of wall time to model time (the machine may be busy with
// other work in any one of them).
// sweep returns the seconds its points counted.
Timing MedianRun(vrq::sim::SimBoard& board, const std::function<double()>& sweep) {
    std::vector<Timing> runs;
    for (int i = 0; i < kRuns; ++i) {
        board.ClearCommands();
        const auto start = Steady::now();
        const double dwells = sweep();
        runs.push_back({ModelSeconds(board), Seconds(Steady::now() - start).count(), dwells});
    }
    std::sort(runs.begin(), runs.end(), [](const Timing& a, const Timing& b) {
        return a.wall / (a.dwells + a.model) < b.wall / (b.dwells + b.model);
    });
    return runs[runs.size() / 2];
}

bool Report(const char* name, const Timing& timing) {
    const double ratio = timing.wall / (timing.dwells + timing.model);
    std::printf("%-28s %9.3f %9.3f %9.3f %7.4f\n", name, timing.dwells, timing.model, timing.wall,
                ratio);
    std::printf(
        "row: Link-margin sweep of 16 points (dwell %.1f s), driven by %s | %.3f s | "
        "counted %.3f s + board model %.3f s = %.3f s | %.4f\n",
        kDwellSeconds, name, timing.wall, timing.dwells, timing.model, timing.dwells + timing.model,
        ratio);
    return ratio <= kSweepGoal;
}

// The command-line monitor in this process at ten polls a second for seconds: its share of a
// core.
double CommandLineMonitorPercent(double seconds) {
    // Boards of its own: the window keeps the first open.
    vrq::sim::SimTransport transport;
    transport.SetZeroLatency(false);
    transport.AddBoard().Chip().SetCables(vrq::sim::DefaultCables());
    std::FILE* sink = std::fopen("/dev/null", "w");
    vrq::cli::Output out(sink);
    vrq::cli::Output err(sink);
    vrq::cli::Runner runner(transport, "0", out, err);
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.1f", seconds);
    auto parsed = vrq::cli::ParseCommandLine({"monitor", "--interval", "0.1", "--duration",
                                              duration, "--rate", "148.5", "--checker-on"});
    const double cpu = CpuSeconds();
    const auto start = Steady::now();
    const auto code = runner.Run(*parsed.invocation);
    const double percent = 100.0 * (CpuSeconds() - cpu) / Seconds(Steady::now() - start).count();
    out.Close();
    if (code != vrq::cli::ExitCode::Ok) {
        std::fprintf(stderr, "monitor ended with %d\n", static_cast<int>(code));
        return 100.0;
    }
    return percent;
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
        "sweep of channel A, 16 points of up to %.1f s (failing ones stop at 20 errors), "
        "simulated board at realistic latency; "
        "median of %d runs\n\n",
        kDwellSeconds, kRuns);
    std::printf("%-28s %9s %9s %9s %7s\n", "driven by", "counted s", "model s", "wall s", "ratio");

    // A loop, as the command-line tool drives it.
    vrq::margin::SweepSettings settings;
    settings.dwell =
        std::chrono::duration_cast<vrq::board::Clock::Duration>(Seconds(kDwellSeconds));
    bool sweepMet = Report("a loop", MedianRun(board, [&] {
                               const auto before = vrq::margin::ReadLinkState(registers);
                               vrq::margin::SweepRun run(registers, link.TheClock(), settings);
                               run.Start(*before);
                               vrq::margin::RunToEnd(run, link.TheClock());
                               return Counted(run.Result());
                           }));

    // The window's timer, through the event loop. The window reads 0x01..0x09 before it
    // starts: inside the time measured, and in the model's time.
    vrq::ui::FrmLinkMargin window(link, hub, host);
    window.show();
    QApplication::processEvents();
    // A fixed dwell, as the loop measures (the window's default is a target ratio).
    window.findChild<QComboBox*>(QStringLiteral("cboMeasure"))->setCurrentIndex(1);
    window.findChild<QDoubleSpinBox*>(QStringLiteral("spnDwell"))->setValue(kDwellSeconds);
    auto* start = window.findChild<QPushButton*>(QStringLiteral("cmdSweepStart"));
    sweepMet = Report("the window's timer",
                      MedianRun(board,
                                [&] {
                                    start->click();
                                    while (window.Sweeping()) {
                                        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
                                    }
                                    return Counted(window.Sweeps()->Results().front());
                                })) &&
               sweepMet;
    std::printf("goal (wall <= %.2f x counted + model): %s\n\n", kSweepGoal,
                sweepMet ? "met" : "missed");

    // The monitor: idle first, then polling with a full plot.
    const double idle = CorePercentOver(kMonitorSeconds / 2);
    window.findChild<QDoubleSpinBox*>(QStringLiteral("spnPollInterval"))->setValue(0.2);
    window.findChild<QPushButton*>(QStringLiteral("cmdMonitorStart"))->click();
    for (int poll = 0; poll < kMonitorHistoryPolls; ++poll) {
        window.MonitorTick();
    }
    const auto polls = board.Commands().size();
    const double monitoring = CorePercentOver(kMonitorSeconds);
    const auto pollsMade = board.Commands().size() - polls;
    window.findChild<QPushButton*>(QStringLiteral("cmdMonitorStop"))->click();
    const double cost = monitoring - idle;
    std::printf("monitor, 5 polls a second for %.0f s (%zu polls), 600 readings kept:\n",
                kMonitorSeconds, pollsMade);
    std::printf("  window idle %.3f%% of a core, monitoring %.3f%%: the monitor costs %.3f%%\n",
                idle, monitoring, cost);
    std::printf(
        "row: Link-margin window monitoring, 5 polls a second, 600 readings kept | %.2f%% of a "
        "core | goal %.0f%% (window idle %.2f%%) | %.2f\n",
        monitoring, kMonitorGoalPercent, idle, monitoring / kMonitorGoalPercent);
    const double commandLine = CommandLineMonitorPercent(kMonitorSeconds);
    std::printf("command-line monitor, 10 polls a second for %.0f s: %.3f%% of a core\n",
                kMonitorSeconds, commandLine);
    std::printf(
        "row: Command-line monitor, 10 polls a second | %.2f%% of a core | goal %.0f%% | "
        "%.2f\n",
        commandLine, kMonitorGoalPercent, commandLine / kMonitorGoalPercent);
    const bool monitorMet = monitoring < kMonitorGoalPercent && commandLine < kMonitorGoalPercent;
    std::printf("goal (monitoring under %.0f%% of one core): %s; messages: %d\n",
                kMonitorGoalPercent, monitorMet ? "met" : "missed", host.count);
    std::fflush(stdout);
    return sweepMet && monitorMet && host.count == 0 ? 0 : 2;
}
