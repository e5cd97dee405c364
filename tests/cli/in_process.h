// Command lines run in the test's own process, one after the other through one Runner, against
// simulated boards the test sets up, on a virtual clock: the board stays open between them, as
// it will for a batch of commands.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "board/clock.h"
#include "cli/cli.h"
#include "sim/sim_transport.h"
#include "sim/virtual_clock.h"

namespace vrq::test {

// A FILE* that writes into memory.
class Captured {
  public:
    Captured() : file_(open_memstream(&data_, &size_)) {}
    ~Captured() {
        std::fclose(file_);
        std::free(data_);
    }
    Captured(const Captured&) = delete;
    Captured& operator=(const Captured&) = delete;
    std::FILE* File() { return file_; }
    // What was written since the last call.
    std::string Take() {
        std::fflush(file_);
        std::string text(data_ + taken_, size_ - taken_);
        taken_ = size_;
        return text;
    }

  private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t taken_ = 0;
    std::FILE* file_;
};

struct Ran {
    cli::ExitCode code = cli::ExitCode::Ok;
    std::string out;
    std::string err;
};

class InProcess {
  public:
    explicit InProcess(int boards = 1) {
        sim.SetZeroLatency(true);
        for (int i = 0; i < boards; ++i) {
            sim.AddBoard();
        }
    }

    // words: one command line, split at blanks.
    Ran Run(const std::string& words) {
        std::istringstream split(words);
        std::vector<std::string> args;
        for (std::string word; split >> word;) {
            args.push_back(word);
        }
        cli::ParsedCommandLine parsed = cli::ParseCommandLine(args);
        Ran ran{parsed.exit, parsed.out, parsed.err};
        if (parsed.invocation) {
            ran.code = runner.Run(*parsed.invocation);
            ran.out = outFile.Take();
            ran.err = errFile.Take();
        }
        return ran;
    }

    sim::SimBoard& Board(std::size_t i = 0) { return sim.Board(i); }
    sim::ChipModel& Chip() { return Board().Chip(); }

    sim::VirtualClock clock;
    sim::SimTransport sim{clock};
    Captured outFile;
    Captured errFile;
    cli::Output out{outFile.File()};
    cli::Output err{errFile.File()};
    cli::Runner runner{sim, "0", out, err, clock};
};

}  // namespace vrq::test
