// Both programs as an installed copy is started: separate processes in a session without a
// display, and their manual pages against what the programs say they accept.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_program.h"

namespace {

using vrq::test::ProgramRun;
using vrq::test::RunProgram;

struct Program {
    std::string name;
    std::string path;
};

void PrintTo(const Program& program, std::ostream* out) {
    *out << program.name;
}

// No display of any kind: a program that built its QApplication first would abort here.
ProgramRun RunWithoutDisplay(const Program& program, const std::string& args) {
    return RunProgram("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + program.path + " " +
                      args);
}

// The first word of every entry of each section of a --help text ("Options:", "Subcommands:"),
// "-h,--help" split in two.
std::map<std::string, std::vector<std::string>> HelpEntries(const std::string& help) {
    std::map<std::string, std::vector<std::string>> entries;
    std::istringstream lines(help);
    std::string section;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == ':' && line.front() != ' ') {
            section = line.substr(0, line.size() - 1);
        } else if (line.rfind("  ", 0) == 0 && !section.empty()) {
            std::istringstream words(line.substr(2));
            std::string first;
            words >> first;
            std::istringstream names(first);
            for (std::string name; std::getline(names, name, ',');) {
                entries[section].push_back(name);
            }
        }
    }
    return entries;
}

// The manual page's source with roff's escaped hyphens plain.
std::string ManualPage(const std::string& name) {
    std::ifstream in(std::string(VRQ_MAN_DIR) + "/" + name + ".1.in");
    std::stringstream text;
    text << in.rdbuf();
    return std::regex_replace(text.str(), std::regex(R"(\\-)"), "-");
}

class ProgramWithoutDisplay : public testing::TestWithParam<Program> {};

TEST_P(ProgramWithoutDisplay, PrintsItsVersionAndHelp) {
    const ProgramRun version = RunWithoutDisplay(GetParam(), "--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, GetParam().name + " " + VRQ_VERSION + "\n");

    const ProgramRun help = RunWithoutDisplay(GetParam(), "--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage:"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("--version"), std::string::npos) << help.out;
}

// Every option and command that --help lists (and every command's own options) has its place
// in the manual page, so a new one cannot ship undocumented.
TEST_P(ProgramWithoutDisplay, ManualPageNamesEveryOptionAndCommand) {
    const std::string page = ManualPage(GetParam().name);
    ASSERT_NE(page.find(".SH EXIT STATUS"), std::string::npos);
    auto help = HelpEntries(RunWithoutDisplay(GetParam(), "--help").out);
    ASSERT_FALSE(help["Options"].empty());
    std::vector<std::string> options = help["Options"];
    const auto commandsAt = page.find(".SH COMMANDS\n");
    const std::string commands =
        commandsAt == std::string::npos
            ? std::string()
            : page.substr(commandsAt, page.find("\n.SH ", commandsAt + 1) - commandsAt);
    for (const auto& verb : help["Subcommands"]) {
        // A .TP entry's tag: ".B verb" or "\fBverb\fP ..." at the start of a line.
        const std::regex entry("\n(\\.B |\\\\fB)" + verb + "(\\\\fP|\n| )");
        EXPECT_TRUE(std::regex_search(commands, entry)) << "COMMANDS has no entry for " << verb;
        const auto own = HelpEntries(RunWithoutDisplay(GetParam(), verb + " --help").out);
        options.insert(options.end(), own.at("Options").begin(), own.at("Options").end());
    }
    for (const auto& option : options) {
        EXPECT_NE(page.find(option), std::string::npos) << "no " << option << " in the page";
    }
}

INSTANTIATE_TEST_SUITE_P(Both, ProgramWithoutDisplay,
                         testing::Values(Program{"vrq66208a-eval", VRQ_EVAL_PATH},
                                         Program{"vrq66208a-cli", VRQ_CLI_PATH}),
                         [](const testing::TestParamInfo<Program>& run) {
                             return run.param.name == "vrq66208a-eval" ? "Eval" : "Cli";
                         });

const Program kEval{"vrq66208a-eval", VRQ_EVAL_PATH};

// The program's own options are checked before Qt is started, so a slip in them is reported
// without a display; Qt's own options go to Qt, and what neither knows is refused by name.
TEST(EvalOptions, OwnOptionsBeforeQtAndQtsOwnToQt) {
    const ProgramRun slip = RunWithoutDisplay(kEval, "--simulate=two");
    EXPECT_GT(slip.exitCode, 0);
    EXPECT_NE(slip.out.find("--simulate"), std::string::npos) << slip.out;

    const ProgramRun unknown = RunWithoutDisplay(kEval, "-platform offscreen --simulate --bogus");
    EXPECT_GT(unknown.exitCode, 0);
    EXPECT_NE(unknown.out.find("not expected: --bogus\n"), std::string::npos) << unknown.out;
}

// A slip in the command line is told with the usage and the command-line tool's status for a
// bad command line (3), before Qt is asked for a display it may not have.
TEST(EvalOptions, ABadCommandLineShowsTheUsageAndExitsWithThree) {
    for (const char* args : {"--bogus", "-platform offscreen --simulate --bogus", "stray",
                             "--simulate --simulate-fault melt",
                             "--simulate=2 --simulate-fault unplug:2", "--simulate-fault unplug",
                             "--simulate=0"}) {
        const ProgramRun run = RunWithoutDisplay(kEval, args);
        EXPECT_EQ(run.exitCode, 3) << args << ": " << run.out;
        EXPECT_EQ(run.out.find("Aborted"), std::string::npos) << args << ": " << run.out;
    }
    EXPECT_NE(RunWithoutDisplay(kEval, "--bogus").out.find("Usage:"), std::string::npos);
}

// The command-line tool's simulated faults, so that the window's failure messages can be
// shown without hardware: accepted, and the window runs (until the time limit ends it).
TEST(EvalOptions, TakesTheToolsSimulatedFaults) {
    const ProgramRun run = RunProgram("QT_QPA_PLATFORM=offscreen timeout 3 " + kEval.path +
                                      " --simulate=2 --simulate-fault no-ack:1 "
                                      "--simulate-fault lost-answer:1 --simulate-fault unplug:1");
    EXPECT_EQ(run.exitCode, 124) << run.out;
}

// The simulated cables are checked with the other options, and only go with --simulate.
TEST(EvalOptions, SimulatedCablesWithSimulateOnly) {
    const ProgramRun badGain = RunWithoutDisplay(kEval, "--simulate --simulate-cable A=32");
    EXPECT_GT(badGain.exitCode, 0);
    EXPECT_NE(badGain.out.find("the gain is 0 to 31"), std::string::npos) << badGain.out;
    const ProgramRun alone = RunWithoutDisplay(kEval, "--simulate-cable A=6");
    EXPECT_GT(alone.exitCode, 0);
    EXPECT_NE(alone.out.find("--simulate"), std::string::npos) << alone.out;
}

// The command-line tool links no Qt: it loads the plot library from beside it (the build tree)
// or its installed folder only when it writes a report, and draws without a display.
TEST(CliReport, DrawsItsPlotsWithTheLibraryItLoads) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / "vrq-programs-report-test";
    std::filesystem::remove_all(dir);
    const ProgramRun run = RunWithoutDisplay(
        Program{"vrq66208a-cli", VRQ_CLI_PATH},
        "--simulate sweep --channel A --rate 742.5 --dwell 0.1 --checker-on --report " +
            dir.string());
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out.find("no plots"), std::string::npos) << run.out;
    for (const char* file : {"index.html", "bathtub-A.png", "heatmap-A.png"}) {
        EXPECT_TRUE(std::filesystem::is_regular_file(dir / file)) << file << "\n" << run.out;
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
