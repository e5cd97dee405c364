// The real binary against simulated boards, through every exit code: what it prints, how it
// ends, and how many command reports it sent (from its --trace) for each verb and each failure.
#include <gtest/gtest.h>

#include <string>

#include "support/run_program.h"

namespace {

struct Case {
    const char* name;
    const char* args;  // after the program's name; --trace is added
    int exitCode;
    const char* text;  // in standard output or standard error
    int reports;       // command reports sent
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.args;
}

int CountReports(const std::string& output) {
    int count = 0;
    for (std::size_t at = output.find("> "); at != std::string::npos;
         at = output.find("> ", at + 1)) {
        count += at == 0 || output[at - 1] == '\n' ? 1 : 0;
    }
    return count;
}

class CliExit : public testing::TestWithParam<Case> {};

TEST_P(CliExit, EndsWithItsCodeAndSaysWhy) {
    const Case& c = GetParam();
    // In a group, so that a redirection among the arguments takes standard output alone.
    const auto run =
        vrq::test::RunProgram("{ " + std::string(VRQ_CLI_PATH) + " --trace " + c.args + "; }");
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out;
    EXPECT_NE(run.out.find(c.text), std::string::npos) << run.out;
    EXPECT_EQ(CountReports(run.out), c.reports) << run.out;
    for (const char* foreign : {"Retry", "GUI", "Cancel"}) {
        EXPECT_EQ(run.out.find(foreign), std::string::npos) << run.out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, CliExit,
    testing::Values(
        Case{"Read", "--simulate-cable none --simulate read 0 2", 0, "31 00\n", 1},
        Case{"Dump", "--simulate dump", 0, "0x15  Misc Status             00     00\n", 1},
        Case{"Recal", "--simulate recal", 0, "", 3},
        Case{"Save", "--simulate save /dev/null/x", 5, "Could not save the registers", 2},
        Case{"NoAcknowledge", "--simulate --simulate-fault no-ack read 0", 1,
             "reading register 0x00: the chip at address 0x44 did not acknowledge", 1},
        // A dump whose burst is refused asks each register alone.
        Case{"DumpNoAcknowledge", "--simulate --simulate-fault no-ack dump", 1,
             "did not acknowledge", 23},
        Case{"NoBoard", "--simulate --simulate-fault absent read 0", 2,
             "no VRQ66208A evaluation board found", 0},
        Case{"InUse", "--simulate --simulate-fault open-in-use firmware", 2,
             "cannot be opened: in use by another program: close that program first", 0},
        Case{"NoPermission", "--simulate=2 --simulate-fault open-no-permission:1 list", 2,
             "1  sim:board1  no permission to open it", 1},
        Case{"NoSuchBoard", "--simulate=2 --board 2 led", 2,
             "--board 2: there are 2 boards (instances 0 to 1)", 0},
        Case{"LostAnswer", "--simulate --timeout 30 --simulate-fault lost-answer firmware", 2,
             "reading the firmware version: the board did not answer within 30 ms", 1},
        Case{"LateAnswerRetried",
             "--simulate --timeout 30 --retries 1 --simulate-fault late-answer clock", 0,
             "base 12 MHz, divider 120, 100 kHz", 2},
        Case{"NotWritten", "--simulate --simulate-fault failed-write led on", 2,
             "switching the LED on: the command could not be sent to the board", 1},
        Case{"Unplugged", "--simulate --retries 3 --simulate-fault unplug write 3 0x92", 2,
             "writing register 0x03: the board is gone", 1},
        Case{"UnpluggedAtTransfer",
             "--simulate --simulate-fault unplug-on-transfer led on; " VRQ_CLI_PATH
             " --trace --simulate --simulate-fault unplug-on-transfer read 0",
             2, "reading register 0x00: the board is gone", 2},
        Case{"MalformedNumber", "--simulate read 0x", 3, "FIRST must be 0x00 to 0xFF", 0},
        Case{"EmptyBoard", "--simulate --board '' read 0", 3, "--board needs", 0},
        Case{"SimulateOutOfRange", "--simulate=-2147483648 read 0", 3, "--simulate", 0},
        Case{"ParserError", "--simulate read", 3, "'vrq66208a-cli read --help' shows", 0},
        Case{"UnknownFault", "--simulate --simulate-fault melt read 0", 3,
             "'melt' is no simulated fault", 0},
        Case{"ReservedAddress", "--simulate --address 0x78 read 0", 3, "add --force", 0},
        Case{"ReservedForced", "--simulate --address 0x78 --force read 0", 1, "did not acknowledge",
             1},
        Case{"ReadOnly", "--simulate write 0x0A 0", 3,
             "register 0x0A (Error Counter Link0) is "
             "read-only",
             0},
        Case{"PastLastRegister", "--simulate write 0xFF 1 0x10", 3,
             "would run to 0x100, past the last register 0xFF", 0},
        Case{"BadFile", "--simulate load /nonexistent/file", 3, "Could not open", 0},
        Case{"Differs", "--simulate write 9 0xFF --verify", 4,
             "register 0x09 (Test Registers): 0xFF written, 0x07 read back", 2},
        Case{"FullDisk", "--simulate read 0 13 >/dev/full", 5,
             "standard output could not be written: No space left on device", 1},
        Case{"HelpToAFullDisk", "--help >/dev/full", 5, "could not be written", 0},
        // The global --force after the command, where the command has a --force of its own:
        // the address is allowed, and the absent chip answers as such.
        Case{"ForceAfterTheCommand", "--simulate write 3 0x12 --address 0x00 --force", 1,
             "did not acknowledge", 1},
        // An empty value is refused as one, before the board is touched, wherever it is.
        Case{"EmptyMask", "--simulate write 3 0x12 --mask ''", 3, "--mask needs a value", 0},
        Case{"EmptyDecodeValue", "--simulate decode 6 ''", 3, "empty argument", 0},
        Case{"EmptyDwell", "--simulate sweep --channel A --dwell ''", 3, "--dwell needs a value",
             0},
        Case{"EmptyInterval", "--simulate monitor --interval ''", 3, "--interval needs a value", 0},
        Case{"EmptyClock", "--simulate clock ''", 3, "empty argument", 0},
        Case{"EmptySimulate", "--simulate= read 0", 3, "--simulate needs a value after '='", 0},
        Case{"EmptyTimeoutAfterEquals", "--simulate --timeout= read 0", 3, "--timeout needs", 0},
        Case{"SaveEmpty", "--simulate save ''", 3, "empty argument", 0}),
    [](const testing::TestParamInfo<Case>& row) { return std::string(row.param.name); });

// The reader of the tool's output ends before the tool writes: a failure the tool reports,
// not a silent death by SIGPIPE.
TEST(CliOutput, AClosedPipeIsReportedWithItsOwnCode) {
    const auto run =
        vrq::test::RunProgram("bash -o pipefail -c '(sleep 0.3; exec " + std::string(VRQ_CLI_PATH) +
                              " --simulate dump) | (exec 0<&-)'");
    EXPECT_EQ(run.exitCode, 5) << run.out;
    EXPECT_NE(run.out.find("standard output could not be written: Broken pipe"), std::string::npos)
        << run.out;
}

}  // namespace
