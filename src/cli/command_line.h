// The tool's command line: global options, one verb and its words, checked before any board
// is touched. Help and version texts and usage errors come back as text, for the caller to
// write where its output goes.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/context.h"
#include "cli/exit_code.h"
#include "cli/verb.h"
#include "sim/program_boards.h"

namespace vrq::cli {

// How the boards are found: what opens them, so fixed for a process.
struct BoardOptions {
    int simulate = 0;
    std::vector<sim::Fault> faults;
    sim::CableSet cables = sim::DefaultCables();
    std::string board = "0";
    bool trace = false;
};

struct Invocation {
    BoardOptions boards;
    ExchangeOptions exchange;
    std::string verbName;
    std::unique_ptr<Verb> verb;
};

struct ParsedCommandLine {
    std::optional<Invocation> invocation;  // set when a verb is to run
    ExitCode exit = ExitCode::Ok;          // otherwise: Ok after --help or --version, or Usage
    std::string out;                       // the help or version text
    std::string err;                       // why the command line was refused
};

// words: the arguments after the program's name.
ParsedCommandLine ParseCommandLine(std::vector<std::string> words);

// One line of a batch file, its words as on a command line without the program's name. The
// options the batch was given (batch) stand for those the line leaves out; the line's own hold
// for it alone. Options that choose or open boards (--simulate, --simulate-fault, --board,
// --simulate-cable, --trace) are refused, since a batch opens its board once, and so are --help,
// --version and a batch within the batch. `sleep SECONDS` is a command here.
ParsedCommandLine ParseBatchLine(std::vector<std::string> words, const ExchangeOptions& batch);

}  // namespace vrq::cli
