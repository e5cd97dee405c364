// Batches: the file read as the tool reads it, and its lines run in this process through one
// Runner against a simulated board on a virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "cli/batch_file.h"
#include "in_process.h"

namespace {

using namespace std::chrono_literals;
using vrq::cli::ExitCode;
using vrq::test::Ran;

TEST(BatchFile, KeepsTheCommandLinesWithTheirNumbers) {
    const auto lines = vrq::cli::SplitBatchFile(
        "\xEF\xBB\xBF# saved\r\nled on\r\n\r\n \t \n  write 0x03\t0x92   # input A\n"
        "write 0x05 0x01#not-a-comment\nsleep 0.5");
    ASSERT_EQ(lines.size(), 4U);
    EXPECT_EQ(lines[0].number, 2);
    EXPECT_EQ(lines[0].words, (std::vector<std::string>{"led", "on"}));
    EXPECT_EQ(lines[1].number, 5);
    EXPECT_EQ(lines[1].text, "write 0x03\t0x92");
    EXPECT_EQ(lines[1].words, (std::vector<std::string>{"write", "0x03", "0x92"}));
    EXPECT_EQ(lines[2].words.back(), "0x01#not-a-comment");
    EXPECT_EQ(lines[3].text, "sleep 0.5");
}

TEST(BatchFile, SecondsAreDecimalUpToADay) {
    using vrq::cli::ParseSeconds;
    EXPECT_EQ(ParseSeconds("6.15"), 6150ms);
    EXPECT_EQ(ParseSeconds(".5"), 500ms);
    EXPECT_EQ(ParseSeconds("0.000001"), 1us);
    EXPECT_EQ(ParseSeconds("86400"), 86400s);
    for (const char* bad : {"", ".", "-1", "1e3", "inf", "0x10", "1,5", " 1", "0.0000001",
                            "86400.000001", "99999999999999999999"}) {
        EXPECT_FALSE(ParseSeconds(bad)) << bad;
    }
}

class Batch : public testing::Test {
  protected:
    // Writes content to the batch file and runs "batch FILE options".
    Ran RunBatch(const std::string& content, const std::string& options = "") {
        std::ofstream(path, std::ios::binary) << content;
        return tool.Run("batch " + path + " " + options);
    }
    // One file per test, parameterised ones included, for tests run side by side.
    static std::string TestPath() {
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        return testing::TempDir() + "batch_" + name + ".txt";
    }

    vrq::test::InProcess tool;
    const std::string path = TestPath();
};

TEST_F(Batch, OpensTheBoardOnceAndOnlyForLinesThatNeedIt) {
    const Ran ran = RunBatch("led on\nwrite 0x03 0x92\nread 0x03\nled\n");
    EXPECT_EQ(ran.code, ExitCode::Ok) << ran.err;
    EXPECT_EQ(ran.out, "92\non\n");
    EXPECT_EQ(tool.sim.TotalOpens(), 1);

    vrq::test::InProcess noBoard(0);
    std::ofstream(path) << "decode 6 0x35\n";
    EXPECT_EQ(noBoard.Run("batch " + path).code, ExitCode::Ok);
}

TEST_F(Batch, OptionsOnALineHoldForItAloneAndTheBatchsForTheRest) {
    // The batch's --force lets line 1 write a read-only register; its address is not the
    // chip's, so line 3, which names none, is not acknowledged.
    const Ran ran = RunBatch(
        "--address 0x44 write 0x00 0x55\n--address 0x44 write 0x04 0x11\nwrite 0x04 0x22\n",
        "--address 0x50 --force");
    EXPECT_EQ(ran.code, ExitCode::NoAcknowledge);
    EXPECT_NE(ran.err.find("at address 0x50 did not acknowledge"), std::string::npos) << ran.err;
    EXPECT_EQ(tool.Chip().Peek(0x04), 0x11);
}

TEST_F(Batch, SleepWaitsBetweenItsNeighbours) {
    std::vector<vrq::board::Clock::TimePoint> sent;
    tool.Board().onCommand = [&](const vrq::board::Report&) { sent.push_back(tool.clock.Now()); };
    EXPECT_EQ(RunBatch("led on\nsleep 0.25\nled off\nsleep 1.5\nsleep 0\nled on\n").code,
              ExitCode::Ok);
    ASSERT_EQ(sent.size(), 3U);
    EXPECT_EQ(sent[1] - sent[0], 250ms);
    EXPECT_EQ(sent[2] - sent[1], 1500ms);
}

struct Failure {
    const char* name;
    const char* line;
    ExitCode code;
};

class BatchFailure : public Batch, public testing::WithParamInterface<Failure> {};

TEST_P(BatchFailure, StopsThereNamingTheLineAndExitsWithItsStatus) {
    const Failure& f = GetParam();
    int commands = 0;
    tool.Board().onCommand = [&](const vrq::board::Report&) {
        if (++commands == 3 && f.code == ExitCode::Board) {  // at the failing line's command
            tool.sim.Unplug(0);
        }
    };
    const Ran ran = RunBatch("led on\n# ready\nwrite 0x04 0x11\n" + std::string(f.line) +
                             "\nwrite 0x06 0x22\n");
    EXPECT_EQ(ran.code, f.code);
    EXPECT_TRUE(ran.err.ends_with("batch: stopped at line 4 of " + path + ", exit status " +
                                  std::to_string(static_cast<int>(f.code)) + ": " + f.line + "\n"))
        << ran.err;
    EXPECT_EQ(tool.Chip().Peek(0x04), 0x11) << "the lines before it ran";
    EXPECT_EQ(tool.Chip().Peek(0x06), 0x00) << "the lines after it did not";
}

INSTANTIATE_TEST_SUITE_P(
    RunTime, BatchFailure,
    testing::Values(Failure{"NoAcknowledge", "--address 0x50 read 0", ExitCode::NoAcknowledge},
                    Failure{"BoardGone", "read 0x00 13", ExitCode::Board},
                    Failure{"Differs", "write 0x05 0xFF --verify", ExitCode::Differs},
                    Failure{"Output", "save /no/such/folder/x.txt", ExitCode::Output}),
    [](const testing::TestParamInfo<Failure>& run) { return run.param.name; });

TEST_F(Batch, KeepGoingRunsTheRestAndExitsWithTheFirstFailure) {
    // The first failure decides, not the worst: 4 before 1.
    const Ran ran = RunBatch("write 0x05 0xFF --verify\n--address 0x50 read 0\nwrite 0x06 0x22\n",
                             "--keep-going");
    EXPECT_EQ(ran.code, ExitCode::Differs);
    EXPECT_EQ(tool.Chip().Peek(0x06), 0x22);
    for (const std::string& message :
         {"batch: line 1 of " + path + " failed, exit status 4: write 0x05 0xFF --verify\n",
          "batch: line 2 of " + path + " failed, exit status 1: --address 0x50 read 0\n",
          std::string("batch: 2 of 3 commands failed; the first, on line 1, gives the exit "
                      "status 4\n")}) {
        EXPECT_NE(ran.err.find(message), std::string::npos) << message << "\nin:\n" << ran.err;
    }
}

// A line that cannot run, anywhere in the file, stops the batch before its first line: a slip
// near the end must not leave the chip half set up.
class BatchRefusal : public Batch,
                     public testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(BatchRefusal, RunsNothingAndNamesTheLine) {
    const auto [line, why] = GetParam();
    std::string content = "led on\n";
    for (int i = 0; i < 40; ++i) {
        content += "--address 0x44 write 0x04 0x" + std::to_string(10 + i) + "\n";
    }
    const Ran ran = RunBatch(content + line + "\nled off\n");
    EXPECT_EQ(ran.code, ExitCode::Usage);
    EXPECT_EQ(ran.err.rfind("batch: line 42 of " + path + ": " + line + "\n" + why, 0), 0U)
        << ran.err;
    EXPECT_TRUE(
        ran.err.ends_with("\nnothing was run: every line is checked before the first "
                          "one runs\n"))
        << ran.err;
    EXPECT_TRUE(tool.Board().Commands().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BatchRefusal,
    testing::Values(
        std::pair{"write 0x03 0x100", "write: VALUE must be 0x00 to 0xFF"},
        std::pair{"write 0x00 0x55", "write: register 0x00 (Device ID and Rev) is read-only"},
        std::pair{"load no-such-file.txt", "load: Could not open"},
        std::pair{"frobnicate 3", "a command is required"},
        std::pair{"sleep -1", "sleep: SECONDS must be decimal seconds"},
        std::pair{"--simulate led", "--simulate is for the whole batch, whose board is opened"},
        std::pair{"--simulate-fault no-ack led", "--simulate-fault is for the whole batch"},
        std::pair{"--simulate-cable A=3 led", "--simulate-cable is for the whole batch"},
        std::pair{"led on --board=1", "--board is for the whole batch"},
        std::pair{"--trace read 0", "--trace is for the whole batch"},
        std::pair{"read --help", "--help and --version are not commands"},
        std::pair{"batch other.txt", "a batch cannot run another batch"}));

}  // namespace
