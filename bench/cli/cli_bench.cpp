// The command-line tool at a real board's pace.
//  - detect over its default range and dump, run through the tool's own Runner against a
//    simulated board that answers when a real one would: wall time against the sum of the
//    board model's time for the commands they sent (SimBoard::ModelTime), the median of the
//    runs. The goal is 1.05x.
//  - The tool's start-up: the real binary started on a simulated board (--trace), timed from
//    the start of the process to its first command report on standard error, against the
//    start of /bin/true, the median of the runs.
//  - A batch (vrq66208a-cli batch) of 1,000 one-register writes in the form the bus trace saves
//    them, through the tool's own parse and Runner: the check of the whole file before the
//    first line runs, per line; the run at a real board's pace against the board model's time
//    for what it sent, and the tool's own time per line beyond the model's; and the run with a
//    board answering at once. The goal is again 1.05x: no start-up per line.
// A real board's answer wakes the waiting reader as it arrives; the simulated board's wakes it
// by a timer, which Linux lets run late by the thread's timer slack (50 us by default, on every
// exchange). The bench sets the slack to 1 ns, so that the simulation keeps a real board's pace,
// and shows how late the host still wakes.
// Usage: cli_bench [RUNS]     (default 15)
#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli.h"
#include "sim/sim_transport.h"

extern char** environ;

namespace {

using Steady = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Timed {
    double wallMs = 0;
    double modelMs = 0;
    std::size_t reports = 0;
};

// A parsed command line through the runner; its wall time and the model's time for what it
// sent.
Timed RunParsed(vrq::cli::Runner& runner, vrq::sim::SimBoard& board,
                vrq::cli::ParsedCommandLine& parsed) {
    board.ClearCommands();
    const auto start = Steady::now();
    const vrq::cli::ExitCode code = runner.Run(*parsed.invocation);
    Timed timed;
    timed.wallMs = Ms(Steady::now() - start).count();
    if (code != vrq::cli::ExitCode::Ok) {
        std::fprintf(stderr, "exit code %d\n", static_cast<int>(code));
        std::exit(2);
    }
    for (const vrq::board::Report& command : board.Commands()) {
        timed.modelMs += Ms(board.ModelTime(command)).count();
    }
    timed.reports = board.Commands().size();
    return timed;
}

// One command line through the runner, its parse not timed.
Timed RunOnce(vrq::cli::Runner& runner, vrq::sim::SimBoard& board,
              const std::vector<std::string>& words) {
    vrq::cli::ParsedCommandLine parsed = vrq::cli::ParseCommandLine(words);
    if (!parsed.invocation) {
        std::fprintf(stderr, "bad command line: %s", parsed.err.c_str());
        std::exit(2);
    }
    return RunParsed(runner, board, parsed);
}

bool MeasureVerb(vrq::cli::Runner& runner, vrq::sim::SimBoard& board, const char* verb, int runs) {
    std::vector<double> ratios;
    std::vector<double> walls;
    Timed last;
    for (int i = 0; i < runs; ++i) {
        last = RunOnce(runner, board, {verb});
        walls.push_back(last.wallMs);
        ratios.push_back(last.wallMs / last.modelMs);
    }
    const double ratio = Median(ratios);
    std::printf("%-8s %7zu %10.2f %10.2f %8.4f %12.1f\n", verb, last.reports, last.modelMs,
                Median(walls), ratio,
                (Median(walls) - last.modelMs) * 1000.0 / static_cast<double>(last.reports));
    std::printf("row: Command-line `%s` (%zu reports) | %.2f ms | board model %.2f ms | %.3f\n",
                verb, last.reports, Median(walls), last.modelMs, ratio);
    return ratio <= 1.05;
}

// Milliseconds from the start of the process to the first "> " trace line on its standard
// error (the tool's first command report), or, with report false, to the process's end.
double TimeToStart(const std::vector<std::string>& argv, bool report) {
    int ends[2];
    if (pipe(ends) != 0) {
        std::exit(2);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 2);
    posix_spawn_file_actions_addclose(&actions, ends[0]);
    std::vector<char*> args;
    for (const std::string& word : argv) {
        args.push_back(const_cast<char*>(word.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    const auto start = Steady::now();
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        std::perror(args[0]);
        std::exit(2);
    }
    close(ends[1]);
    std::string text;
    char chunk[4096];
    auto end = Steady::now();
    bool seen = false;
    for (ssize_t n = 0; (n = read(ends[0], chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<std::size_t>(n));
        if (!seen && text.rfind("> ", 0) == 0) {
            end = Steady::now();
            seen = true;
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!report) {
        end = Steady::now();
    } else if (!seen) {
        std::fprintf(stderr, "%s sent no report\n", args[0]);
        std::exit(2);
    }
    close(ends[0]);
    posix_spawn_file_actions_destroy(&actions);
    return Ms(end - start).count();
}

// How late this host wakes from a 1 ms sleep, in microseconds, the median of 101.
double SleepOvershootUs() {
    std::vector<double> late;
    for (int i = 0; i < 101; ++i) {
        const auto due = Steady::now() + std::chrono::milliseconds(1);
        std::this_thread::sleep_until(due);
        late.push_back(std::chrono::duration<double, std::micro>(Steady::now() - due).count());
    }
    return Median(late);
}

// detect and dump on a simulated board; true when both are within the goal.
bool MeasureVerbs(int runs) {
    vrq::sim::SimTransport sim;  // answers when a real board would
    vrq::sim::SimBoard& board = sim.AddBoard();
    vrq::cli::Output out(std::fopen("/dev/null", "w"));
    vrq::cli::Output err(stderr);
    vrq::cli::Runner runner(sim, "0", out, err);
    RunOnce(runner, board, {"firmware"});  // opens the board, as the tool does before its verb
    const bool detect = MeasureVerb(runner, board, "detect", runs);
    const bool dump = MeasureVerb(runner, board, "dump", runs * 10);

    // The tool's own work, with a board that answers at once: what it adds to the model. Opened
    // afresh: a session that has learnt a real board's pace takes faster answers for strays.
    vrq::sim::SimTransport quickSim;
    vrq::sim::SimBoard& quick = quickSim.AddBoard();
    quick.SetZeroLatency(true);
    vrq::cli::Runner quickRunner(quickSim, "0", out, err);
    RunOnce(quickRunner, quick, {"firmware"});
    std::vector<double> detectWork;
    std::vector<double> dumpWork;
    for (int i = 0; i < runs; ++i) {
        detectWork.push_back(RunOnce(quickRunner, quick, {"detect"}).wallMs * 1000.0);
        dumpWork.push_back(RunOnce(quickRunner, quick, {"dump"}).wallMs * 1000.0);
    }
    std::printf("the tool's own work (a board answering at once): detect %.1f us, dump %.1f us\n",
                Median(detectWork), Median(dumpWork));
    out.Close();
    return detect && dump;
}

constexpr int kBatchLines = 1000;

// Milliseconds to parse and check the batch in path, and the batch verb ready to run.
double CheckBatch(const std::string& path, vrq::cli::ParsedCommandLine& parsed) {
    const auto start = Steady::now();
    parsed = vrq::cli::ParseCommandLine({"batch", path});
    const double ms = Ms(Steady::now() - start).count();
    if (!parsed.invocation) {
        std::fprintf(stderr, "bad batch: %s", parsed.err.c_str());
        std::exit(2);
    }
    return ms;
}

// The batch of writes; true when its run is within the goal.
bool MeasureBatch(int runs) {
    char path[] = "/tmp/cli_bench_batch_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        std::perror("mkstemp");
        std::exit(2);
    }
    std::string text = "# 1,000 writes as the bus trace saves them\n";
    for (int i = 0; i < kBatchLines; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "--address 0x44 write 0x%02X 0x%02X\n", 0x04 + i % 4,
                      i % 256);
        text += line;
    }
    if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        std::exit(2);
    }
    close(fd);

    vrq::sim::SimTransport sim;
    vrq::sim::SimBoard& board = sim.AddBoard();
    vrq::cli::Output out(std::fopen("/dev/null", "w"));
    vrq::cli::Output err(stderr);
    vrq::cli::Runner runner(sim, "0", out, err);
    RunOnce(runner, board, {"firmware"});  // the board is opened before the batch is timed

    std::vector<double> checks;
    std::vector<double> ratios;
    std::vector<double> walls;
    std::vector<double> batchExtra;
    std::vector<double> singleExtra;
    Timed last;
    const int paced = std::max(1, runs / 5);  // a few seconds each
    for (int i = 0; i < paced; ++i) {
        vrq::cli::ParsedCommandLine parsed;
        checks.push_back(CheckBatch(path, parsed) * 1000.0 / kBatchLines);
        last = RunParsed(runner, board, parsed);
        ratios.push_back(last.wallMs / last.modelMs);
        walls.push_back(last.wallMs);
        batchExtra.push_back((last.wallMs - last.modelMs) * 1000.0 / kBatchLines);

        // The same writes as single commands through the same runner, parsed as they run:
        // what the batch saves beyond the start-up of a process per line.
        Timed single;
        for (int line = 0; line < kBatchLines; ++line) {
            const Timed one =
                RunOnce(runner, board,
                        {"write", std::to_string(0x04 + line % 4), std::to_string(line % 256)});
            single.wallMs += one.wallMs;
            single.modelMs += one.modelMs;
        }
        singleExtra.push_back((single.wallMs - single.modelMs) * 1000.0 / kBatchLines);
    }
    // A board answering at once, opened afresh (see MeasureVerbs).
    vrq::sim::SimTransport quickSim;
    vrq::sim::SimBoard& quick = quickSim.AddBoard();
    quick.SetZeroLatency(true);
    vrq::cli::Runner quickRunner(quickSim, "0", out, err);
    RunOnce(quickRunner, quick, {"firmware"});
    std::vector<double> work;
    for (int i = 0; i < runs; ++i) {
        vrq::cli::ParsedCommandLine parsed;
        checks.push_back(CheckBatch(path, parsed) * 1000.0 / kBatchLines);
        work.push_back(RunParsed(quickRunner, quick, parsed).wallMs * 1000.0 / kBatchLines);
    }
    out.Close();
    std::remove(path);

    const double ratio = Median(ratios);
    std::printf("%-8s %7zu %10.2f %10.2f %8.4f %12.1f\n", "batch", last.reports, last.modelMs,
                Median(walls), ratio, Median(batchExtra));
    std::printf(
        "row: Command-line `batch` of %d writes (%zu reports) | %.2f ms | board model "
        "%.2f ms | %.3f\n",
        kBatchLines, last.reports, Median(walls), last.modelMs, ratio);
    std::printf(
        "batch of %d writes: checked whole first in %.1f us a line; run with a board answering "
        "at once, %.2f us a line; the same writes as single commands through the runner, "
        "%.1f us a line beyond the model\n",
        kBatchLines, Median(checks), Median(work), Median(singleExtra));
    return ratio <= 1.05;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    prctl(PR_SET_TIMERSLACK, 1UL);

    std::printf(
        "%d runs each, simulated board at a real board's pace (bus 12 MHz / 120), "
        "medians\n\n",
        runs);
    std::printf("%-8s %7s %10s %10s %8s %12s\n", "verb", "reports", "model ms", "wall ms", "ratio",
                "us/report");
    bool met = MeasureVerbs(runs);
    met = MeasureBatch(runs) && met;
    std::printf(
        "the host wakes %.0f us late from a sleep (the simulated board's answers wait "
        "for one each)\n",
        SleepOvershootUs());

    std::vector<double> tool;
    std::vector<double> bare;
    for (int i = 0; i < runs; ++i) {
        tool.push_back(TimeToStart({VRQ_CLI_PATH, "--simulate", "--trace", "firmware"}, true));
        bare.push_back(TimeToStart({"/bin/true"}, false));
    }
    std::printf("start-up to the first report sent: %.2f ms (starting /bin/true: %.2f ms)\n",
                Median(tool), Median(bare));
    std::printf(
        "row: Command-line start-up to the first report | %.2f ms | starting /bin/true: "
        "%.2f ms | %.2f\n",
        Median(tool), Median(bare), Median(tool) / Median(bare));
    std::printf("goal (wall <= 1.05 x model): %s\n", met ? "met" : "missed");
    return met ? 0 : 1;
}
