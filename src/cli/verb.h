// A verb of the tool: its words are bound to a CLI11 subcommand, checked by Prepare before any
// board is touched, and run against a Context. Parsing and running are apart, so that many
// command lines can run in one process against a board opened once.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "cli/context.h"
#include "cli/exit_code.h"

namespace CLI {
class App;
}  // namespace CLI

namespace vrq::cli {

// What a verb needs opened before it runs.
enum class Needs {
    Nothing,     // decode with a value: no board at all
    Board,       // the chosen board (--board), opened
    EveryBoard,  // every board present (list), opened one at a time
};

class Verb {
  public:
    virtual ~Verb() = default;
    // Turns the words the parser collected into typed arguments (and reads a register file
    // to be loaded). "" when all is well; otherwise what is wrong, a usage error.
    virtual std::string Prepare(const ExchangeOptions& /*options*/) { return {}; }
    virtual Needs Requires() const { return Needs::Board; }
    virtual ExitCode Run(Context& context) = 0;
};

// How a verb is offered on the command line.
struct VerbEntry {
    const char* name;
    const char* summary;   // one line in --help
    const char* examples;  // its own --help ends with them
    // Makes the verb, its arguments and options bound to its subcommand.
    std::unique_ptr<Verb> (*make)(CLI::App& command);
};

// The verbs by group, in the order --help shows them.
std::span<const VerbEntry> BoardVerbs();     // list, firmware, led, clock
std::span<const VerbEntry> DetectVerbs();    // detect
std::span<const VerbEntry> RegisterVerbs();  // dump, read, write, decode, recal
std::span<const VerbEntry> FileVerbs();      // save, load
std::span<const VerbEntry> MarginVerbs();    // monitor, sweep
std::span<const VerbEntry> BatchVerbs();     // batch
// Offered on a batch file's lines only.
std::span<const VerbEntry> BatchLineVerbs();  // sleep

// "--json" on a verb that offers it.
void AddJsonFlag(CLI::App& command, bool& json);

template <typename V>
std::unique_ptr<Verb> Make(CLI::App& command) {
    return std::make_unique<V>(command);
}

}  // namespace vrq::cli
