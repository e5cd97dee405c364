#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <sstream>

#include "cli/numbers.h"

namespace vrq::cli {
namespace {

constexpr const char* kFooter =
    "Exit status: 0 done; 1 the chip did not acknowledge; 2 board or USB failure (no board,\n"
    "cannot open it, no answer, report not written); 3 bad command line or register file;\n"
    "4 a read-back differs from what was written; 5 the output could not be written.\n"
    "Numbers are decimal (68) or hexadecimal with 0x (0x44). 'vrq66208a-cli COMMAND --help'\n"
    "shows a command's arguments; the options above go before or after the command.\n"
    "Examples:\n"
    "  vrq66208a-cli list                        the boards and their firmware\n"
    "  vrq66208a-cli detect                      which addresses answer on the bus\n"
    "  vrq66208a-cli dump --changed              registers that differ from reset\n"
    "  vrq66208a-cli --board 1 write 3 0x92      register 0x03 of board 1's chip\n"
    "  vrq66208a-cli --simulate --simulate-fault no-ack read 0    exits with 1\n";

// The words the global options take, turned into numbers once the parse is over.
struct GlobalWords {
    std::string address = "0x44";
    std::string retries = "0";
    std::string timeout = std::to_string(board::BoardSession::kDefaultTimeoutMs);
    std::vector<std::string> faults;
};

constexpr unsigned kMostRetries = 100;
constexpr unsigned kLongestTimeoutMs = 600000;

// What the global options say, or why not.
std::string CheckGlobals(const GlobalWords& words, Invocation& invocation) {
    std::string error;
    const auto address = ParseArgument({"--address", 0x00, 0x7F, true}, words.address, error);
    const auto retries = ParseArgument({"--retries", 0, kMostRetries, false}, words.retries, error);
    const auto timeout =
        ParseArgument({"--timeout", 1, kLongestTimeoutMs, false}, words.timeout, error);
    if (!address || !retries || !timeout) {
        return error;
    }
    ExchangeOptions& exchange = invocation.exchange;
    exchange.address7 = static_cast<std::uint8_t>(*address);
    exchange.retries = static_cast<int>(*retries);
    exchange.timeoutMs = static_cast<int>(*timeout);
    if (IsReservedAddress(exchange.address7) && !exchange.force) {
        return "--address " + words.address + ": " + Hex(exchange.address7) +
               " is a reserved I2C address (0x00 to 0x07 and 0x78 to 0x7F): add --force to "
               "use it anyway";
    }
    if (invocation.boards.board.empty()) {
        return "--board needs a board instance number or a device path ('vrq66208a-cli list' "
               "shows them)";
    }
    for (const std::string& text : words.faults) {
        const sim::Fault fault = *sim::ParseFault(text);  // the option's check passed it
        if (fault.board >= invocation.boards.simulate) {
            return "--simulate-fault " + text + ": there is no simulated board " +
                   std::to_string(fault.board) + " (--simulate=N makes N boards)";
        }
        invocation.boards.faults.push_back(fault);
    }
    return {};
}

std::string UsageHint(const CLI::App& app) {
    const auto chosen = app.get_subcommands();
    const std::string command = chosen.empty() ? std::string() : " " + chosen.front()->get_name();
    return "'vrq66208a-cli" + command + " --help' shows the usage";
}

}  // namespace

void AddJsonFlag(CLI::App& command, bool& json) {
    command.add_flag("--json", json,
                     "Print one JSON document on standard output (its fields are in the README)");
}

ParsedCommandLine ParseCommandLine(std::vector<std::string> words) {
    ParsedCommandLine parsed;
    Invocation invocation;
    GlobalWords global;

    CLI::App app{"VRQ66208A evaluation board, command-line tool"};
    app.name("vrq66208a-cli");
    app.require_subcommand(1);
    app.footer(kFooter);
    CLI::Option* simulate = sim::AddSimulateOption(app, invocation.boards.simulate);
    sim::AddSimulateFaultOption(app, global.faults, simulate);
    app.add_option("--board", invocation.boards.board,
                   "The board to use: its instance number (as list shows it) or its device path; "
                   "default 0")
        ->option_text("K");
    app.add_option("--address", global.address, "The chip's 7-bit I2C address (default 0x44)")
        ->option_text("A");
    app.add_flag("--force", invocation.exchange.force,
                 "Allow a reserved address (0x00-0x07, 0x78-0x7F) and writes to read-only "
                 "registers");
    app.add_option("--retries", global.retries,
                   "Repeat an exchange that failed on the USB side up to N times (default 0)")
        ->option_text("N");
    app.add_option("--timeout", global.timeout,
                   "Wait up to MS milliseconds for each answer of the board (default 6000)")
        ->option_text("MS");
    app.add_flag("--trace", invocation.boards.trace,
                 "Print every report exchanged with the board to standard error");
    app.set_version_flag("--version", std::string("vrq66208a-cli ") + VRQ_VERSION,
                         "Print the tool's version and exit");
    app.failure_message([](const CLI::App* failed, const CLI::Error& e) {
        std::string what = e.what();
        if (failed->get_subcommands().empty() && what == "A subcommand is required") {
            what = "a command is required: list, detect, dump, read, write, ...";
        }
        return what + "\n" + UsageHint(*failed) + "\n";
    });

    struct Offered {
        CLI::App* command;
        std::unique_ptr<Verb> verb;
    };
    std::vector<Offered> verbs;
    for (const auto group : {BoardVerbs(), DetectVerbs(), RegisterVerbs(), FileVerbs()}) {
        for (const VerbSpec& spec : group) {
            CLI::App* command = app.add_subcommand(spec.name, spec.summary);
            command->footer(spec.examples);
            // The global options are taken after the verb too.
            command->fallthrough();
            verbs.push_back({command, spec.make(*command)});
        }
    }

    std::reverse(words.begin(), words.end());  // CLI11 takes a vector last word first
    try {
        app.parse(words);
    } catch (const CLI::ParseError& e) {
        std::ostringstream out;
        std::ostringstream err;
        parsed.exit = app.exit(e, out, err) == 0 ? ExitCode::Ok : ExitCode::Usage;
        parsed.out = out.str();
        parsed.err = err.str();
        return parsed;
    }

    std::string error = CheckGlobals(global, invocation);
    const auto chosen = std::find_if(verbs.begin(), verbs.end(),
                                     [](const Offered& v) { return v.command->parsed(); });
    if (error.empty()) {
        error = chosen->verb->Prepare(invocation.exchange);
        if (!error.empty()) {
            error = chosen->command->get_name() + ": " + error;
        }
    }
    if (!error.empty()) {
        parsed.exit = ExitCode::Usage;
        parsed.err = error + "\n";
        return parsed;
    }
    invocation.verbName = chosen->command->get_name();
    invocation.verb = std::move(chosen->verb);
    parsed.invocation = std::move(invocation);
    return parsed;
}

}  // namespace vrq::cli
