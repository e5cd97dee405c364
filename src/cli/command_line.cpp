#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <optional>
#include <sstream>

#include "cli/numbers.h"

namespace vrq::cli {
namespace {

constexpr const char* kFooter =
    "Exit status: 0 done; 1 the chip did not acknowledge; 2 board or USB failure (no board,\n"
    "cannot open it, no answer, report not written); 3 bad command line or register file;\n"
    "4 a read-back differs from what was written; 5 the output could not be written;\n"
    "6 a sweep found no setting that showed the target bit error ratio; 7 verify failed or\n"
    "a monitor ended before its --until-ber; 8 a monitor stopped at --stop-on-errors;\n"
    "130 interrupted by Ctrl+C or SIGTERM (monitor, sweep, verify).\n"
    "The link-margin commands need the source to send PRBS7 on all three TMDS data links.\n"
    "Numbers are decimal (68) or hexadecimal with 0x (0x44). 'vrq66208a-cli COMMAND --help'\n"
    "shows a command's arguments; the options above go before or after the command.\n"
    "Examples:\n"
    "  vrq66208a-cli list                        the boards and their firmware\n"
    "  vrq66208a-cli detect                      which addresses answer on the bus\n"
    "  vrq66208a-cli dump --changed              registers that differ from reset\n"
    "  vrq66208a-cli --board 1 write 3 0x92      register 0x03 of board 1's chip\n"
    "  vrq66208a-cli --simulate --simulate-fault no-ack read 0    exits with 1\n"
    "  vrq66208a-cli batch session.txt           the commands in the file, board opened once\n";

// The words the global options take, turned into numbers once the parse is over. Their
// defaults are the tool's, or on a batch line the options the batch was given.
struct GlobalWords {
    explicit GlobalWords(const ExchangeOptions& defaults)
        : address(Hex(defaults.address7)),
          retries(std::to_string(defaults.retries)),
          timeout(std::to_string(defaults.timeoutMs)) {}
    std::string address;
    std::string retries;
    std::string timeout;
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
    return sim::FaultsOn(words.faults, invocation.boards.simulate, invocation.boards.faults);
}

std::string UsageHint(const CLI::App& app) {
    const auto chosen = app.get_subcommands();
    std::string command = chosen.empty() ? std::string() : chosen.front()->get_name();
    // A command of batch lines only is explained in batch's help.
    for (const VerbEntry& spec : BatchLineVerbs()) {
        if (command == spec.name) {
            command = "batch";
        }
    }
    return "'vrq66208a-cli" + (command.empty() ? "" : " " + command) + " --help' shows the usage";
}

// The first of options, by its long name alone or with "=VALUE", among words; "" for none.
std::string FirstOf(const std::vector<std::string>& words,
                    std::initializer_list<const CLI::Option*> options) {
    for (const std::string& word : words) {
        for (const CLI::Option* option : options) {
            for (const std::string& name : option->get_lnames()) {
                const std::string flag = "--" + name;
                if (word == flag || word.rfind(flag + "=", 0) == 0) {
                    return flag;
                }
            }
        }
    }
    return {};
}

// Why a word is an empty value, or "": an empty value is never taken for one not given (a
// mask of nothing, a register file named nothing, a decode value of nothing).
std::string EmptyValue(const std::vector<std::string>& words) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.empty()) {
            if (i > 0 && words[i - 1].rfind("--", 0) == 0 && words[i - 1].size() > 2) {
                return words[i - 1] + " needs a value, not an empty one";
            }
            return "an empty argument ('') is no value: leave it out or give one";
        }
        if (word.rfind("--", 0) == 0 && word.size() > 2 && word.back() == '=') {
            return word.substr(0, word.size() - 1) + " needs a value after '=', not an empty one";
        }
    }
    return {};
}

ParsedCommandLine UsageError(const std::string& why) {
    ParsedCommandLine parsed;
    parsed.exit = ExitCode::Usage;
    parsed.err = why + "\n";
    return parsed;
}

// The options that choose and open the board: a batch line may not give them.
struct BoardOptions {
    CLI::Option* simulate;
    CLI::Option* faults;
    CLI::Option* cables;
    CLI::Option* board;
    CLI::Option* trace;
};

BoardOptions AddGlobalOptions(CLI::App& app, Invocation& invocation, GlobalWords& global) {
    app.name("vrq66208a-cli");
    app.require_subcommand(1);
    app.footer(kFooter);
    BoardOptions options{};
    options.simulate = sim::AddSimulateOption(app, invocation.boards.simulate);
    options.faults = sim::AddSimulateFaultOption(app, global.faults, options.simulate);
    options.cables = sim::AddSimulateCableOption(app, invocation.boards.cables);
    options.board =
        app.add_option(
               "--board", invocation.boards.board,
               "The board to use: its instance number (as list shows it) or its device path; "
               "default 0")
            ->option_text("K");
    app.add_option("--address", global.address, "The chip's 7-bit I2C address (default 0x44)")
        ->option_text("A");
    app.add_flag("--force", invocation.exchange.force,
                 "Allow a reserved address (0x00-0x07, 0x78-0x7F), writes to read-only "
                 "registers");
    app.add_option("--retries", global.retries,
                   "Repeat an exchange that failed on the USB side up to N times (default 0)")
        ->option_text("N");
    app.add_option("--timeout", global.timeout,
                   "Wait up to MS milliseconds for each answer of the board (default 6000)")
        ->option_text("MS");
    options.trace = app.add_flag("--trace", invocation.boards.trace,
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
    return options;
}

struct Offered {
    CLI::App* command;
    std::unique_ptr<Verb> verb;
};

std::vector<Offered> OfferVerbs(CLI::App& app, const std::vector<std::string>& words,
                                bool batchLine) {
    std::vector<Offered> verbs;
    std::vector<std::span<const VerbEntry>> groups{BoardVerbs(), DetectVerbs(), RegisterVerbs(),
                                                   FileVerbs(),  MarginVerbs(), BatchVerbs()};
    if (batchLine) {
        groups.push_back(BatchLineVerbs());
    }
    for (const auto group : groups) {
        for (const VerbEntry& spec : group) {
            // A batch line offers only the verbs it names: making every verb's subcommand
            // would cost most of the time spent on a line. Words that only look like a verb
            // parse as they would with every verb offered.
            if (batchLine && std::find(words.begin(), words.end(), spec.name) == words.end()) {
                continue;
            }
            CLI::App* command = app.add_subcommand(spec.name, spec.summary);
            command->footer(spec.examples);
            // The global options are taken after the verb too.
            command->fallthrough();
            verbs.push_back({command, spec.make(*command)});
        }
    }
    return verbs;
}

// Why the words are refused before the parse, or "": the parse would otherwise complain of
// what a board option needs, or take an empty word for a value.
std::string RefusedUnparsed(const std::vector<std::string>& words, const BoardOptions& options,
                            bool batchLine) {
    if (batchLine) {
        if (const std::string option = FirstOf(
                words,
                {options.simulate, options.faults, options.cables, options.board, options.trace});
            !option.empty()) {
            return option +
                   " is for the whole batch, whose board is opened once: give it before "
                   "'batch', not on a line";
        }
    }
    return EmptyValue(words);
}

// The parse's own outcome when it ends the command line (--help, --version, an error).
std::optional<ParsedCommandLine> RunParser(CLI::App& app, std::vector<std::string> words,
                                           bool batchLine) {
    std::reverse(words.begin(), words.end());  // CLI11 takes a vector last word first
    try {
        app.parse(words);
    } catch (const CLI::ParseError& e) {
        std::ostringstream out;
        std::ostringstream err;
        ParsedCommandLine parsed;
        parsed.exit = app.exit(e, out, err) == 0 ? ExitCode::Ok : ExitCode::Usage;
        parsed.out = out.str();
        parsed.err = err.str();
        if (batchLine && parsed.exit == ExitCode::Ok) {
            return UsageError(
                "--help and --version are not commands: run them on the command line");
        }
        return parsed;
    }
    return std::nullopt;
}

// What is wrong with the parsed command line as a whole, or "".
std::string CheckParsed(Offered& chosen, const GlobalWords& global, Invocation& invocation,
                        bool batchLine) {
    // A command with a --force of its own takes it, the global one included, wherever it was
    // given: the one word means both.
    if (const CLI::Option* own = chosen.command->get_option_no_throw("--force");
        own != nullptr && own->count() > 0) {
        invocation.exchange.force = true;
    }
    if (batchLine && chosen.command->get_name() == "batch") {
        return "a batch cannot run another batch";
    }
    if (std::string error = CheckGlobals(global, invocation); !error.empty()) {
        return error;
    }
    if (const std::string error = chosen.verb->Prepare(invocation.exchange); !error.empty()) {
        return chosen.command->get_name() + ": " + error;
    }
    return {};
}

// A command line, or a batch file's line when batch holds the batch's options.
ParsedCommandLine Parse(std::vector<std::string> words, const ExchangeOptions* batch) {
    const bool batchLine = batch != nullptr;
    Invocation invocation;
    if (batchLine) {
        invocation.exchange = *batch;
    }
    GlobalWords global(invocation.exchange);
    CLI::App app{"VRQ66208A evaluation board, command-line tool"};
    const BoardOptions options = AddGlobalOptions(app, invocation, global);
    std::vector<Offered> verbs = OfferVerbs(app, words, batchLine);

    if (const std::string refused = RefusedUnparsed(words, options, batchLine); !refused.empty()) {
        return UsageError(refused);
    }
    if (std::optional<ParsedCommandLine> ended = RunParser(app, std::move(words), batchLine)) {
        return std::move(*ended);
    }
    const auto chosen = std::find_if(verbs.begin(), verbs.end(),
                                     [](const Offered& v) { return v.command->parsed(); });
    if (const std::string error = CheckParsed(*chosen, global, invocation, batchLine);
        !error.empty()) {
        return UsageError(error);
    }
    invocation.verbName = chosen->command->get_name();
    invocation.verb = std::move(chosen->verb);
    ParsedCommandLine parsed;
    parsed.invocation = std::move(invocation);
    return parsed;
}

}  // namespace

void AddJsonFlag(CLI::App& command, bool& json) {
    command.add_flag("--json", json,
                     "Print one JSON document on standard output (its fields are in the README)");
}

ParsedCommandLine ParseCommandLine(std::vector<std::string> words) {
    return Parse(std::move(words), nullptr);
}

ParsedCommandLine ParseBatchLine(std::vector<std::string> words, const ExchangeOptions& batch) {
    return Parse(std::move(words), &batch);
}

}  // namespace vrq::cli
