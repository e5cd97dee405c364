// Batches: many command lines from a file, run in one process against a board opened once,
// and the pause between them.
#include <CLI/CLI.hpp>

#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "cli/batch_file.h"
#include "cli/cli.h"
#include "cli/command_line.h"
#include "cli/verb.h"

namespace vrq::cli {
namespace {

class SleepVerb : public Verb {
  public:
    explicit SleepVerb(CLI::App& command) {
        command.add_option("SECONDS", word_, "How long to wait, in decimal seconds (0.25)")
            ->type_name("")
            ->required();
    }

    std::string Prepare(const ExchangeOptions& /*options*/) override {
        const auto span = ParseSeconds(word_);
        if (!span) {
            return "SECONDS must be decimal seconds from 0 to " +
                   std::to_string(kLongestSleep.count()) + " (0.25 for a quarter second), not '" +
                   word_ + "'";
        }
        span_ = *span;
        return {};
    }

    Needs Requires() const override { return Needs::Nothing; }

    ExitCode Run(Context& context) override {
        context.clock.SleepFor(span_);
        return ExitCode::Ok;
    }

  private:
    std::string word_;
    std::chrono::microseconds span_{0};
};

// Every line is parsed and checked (a register file to load read too) before the first one
// runs, as load checks a register file whole: a slip on line 900 must not leave the chip
// half set up. The lines then run one after the other through the runner that runs the batch,
// so the board is opened once, by the first line that needs it.
class BatchVerb : public Verb {
  public:
    explicit BatchVerb(CLI::App& command) {
        command
            .add_option("FILE", path_,
                        "The batch file, one command line a line; - reads standard input")
            ->type_name("")
            ->required();
        command.add_flag(
            "--keep-going", keepGoing_,
            "Run the lines after a failed one too; exit with the first failure's status");
    }

    Needs Requires() const override { return Needs::Nothing; }

    std::string Prepare(const ExchangeOptions& options) override {
        std::string error;
        const auto content = ReadBatchFile(path_, error);
        if (!content) {
            return error;
        }
        for (BatchLine& line : SplitBatchFile(*content)) {
            ParsedCommandLine parsed = ParseBatchLine(std::move(line.words), options);
            if (!parsed.invocation) {
                std::string why = parsed.err;
                while (!why.empty() && why.back() == '\n') {
                    why.pop_back();
                }
                return Where(line.number) + ": " + line.text + "\n" + why +
                       "\nnothing was run: every line is checked before the first one runs";
            }
            steps_.push_back({line.number, std::move(line.text), std::move(*parsed.invocation)});
        }
        return {};
    }

    ExitCode Run(Context& context) override {
        ExitCode first = ExitCode::Ok;
        const Step* firstFailed = nullptr;
        std::size_t failed = 0;
        for (Step& step : steps_) {
            const bool outputLost = context.out.Failed();
            ExitCode code = context.runner->Run(step.invocation);
            // Flushed line by line, so that a reader sees each result as its line ends. A
            // line whose results were lost has failed, as a command's would.
            if (!context.out.Flush() && !outputLost && code == ExitCode::Ok) {
                code = ExitCode::Output;
            }
            if (code == ExitCode::Ok) {
                continue;
            }
            const std::string status = std::to_string(static_cast<int>(code));
            if (!keepGoing_) {
                return context.Fail(code, "batch: stopped at " + Where(step.line) +
                                              ", exit status " + status + ": " + step.text);
            }
            context.Fail(code, "batch: " + Where(step.line) + " failed, exit status " + status +
                                   ": " + step.text);
            if (failed++ == 0) {
                first = code;
                firstFailed = &step;
            }
        }
        if (firstFailed != nullptr) {
            context.Fail(first, "batch: " + std::to_string(failed) + " of " +
                                    std::to_string(steps_.size()) +
                                    " commands failed; the first, on line " +
                                    std::to_string(firstFailed->line) + ", gives the exit status " +
                                    std::to_string(static_cast<int>(first)));
        }
        return first;
    }

  private:
    struct Step {
        int line;
        std::string text;
        Invocation invocation;
    };

    // "line 12 of session.txt".
    std::string Where(int line) const {
        return "line " + std::to_string(line) + " of " + BatchFileName(path_);
    }

    std::string path_;
    bool keepGoing_ = false;
    std::vector<Step> steps_;
};

constexpr std::array<VerbEntry, 1> kBatchVerbs{{
    {"batch", "Run the command lines of FILE (- for standard input) with the board opened once",
     "Each line of FILE is a command line without the program's name: a command with its\n"
     "arguments and options, split at blanks (no quoting). 'sleep S' waits S seconds (0.25);\n"
     "a word that begins with # starts a comment; blank lines are skipped; LF or CR LF ends.\n"
     "Options on a line hold for that line only; otherwise those given before 'batch' apply.\n"
     "--simulate, --simulate-fault, --board and --trace are for the whole batch: on a line\n"
     "they are refused.\n"
     "The whole file is checked first, as load checks a register file: a bad line anywhere\n"
     "stops the batch before any line runs (exit status 3, the line named). Then the lines\n"
     "run in order in this one process; the board is opened by the first that needs it and\n"
     "kept. The batch stops at the first line that fails, naming the line, and exits with its\n"
     "status; --keep-going runs the rest and exits with the first failure's status.\n"
     "Examples:\n"
     "  vrq66208a-cli batch session.txt       a script saved by the bus trace window\n"
     "  vrq66208a-cli --board 1 --retries 2 batch --keep-going setup.txt\n"
     "  printf 'led on\\nsleep 0.5\\nled off\\n' | vrq66208a-cli batch -\n"
     "A batch file:\n"
     "  # input A, full drive\n"
     "  write 0x03 0x92\n"
     "  write 0x06 0x35 --verify\n"
     "  sleep 0.25\n"
     "  --address 0x45 read 0 13      # another chip, this line only\n",
     Make<BatchVerb>},
}};

constexpr std::array<VerbEntry, 1> kLineVerbs{{
    {"sleep", "Wait SECONDS (decimal) before the next line",
     "Examples:\n"
     "  sleep 0.25\n",
     Make<SleepVerb>},
}};

}  // namespace

std::span<const VerbEntry> BatchVerbs() {
    return kBatchVerbs;
}

std::span<const VerbEntry> BatchLineVerbs() {
    return kLineVerbs;
}

}  // namespace vrq::cli
