#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/cli.h"
#include "cli/numbers.h"
#include "support/run_program.h"

namespace {

using CliRun = vrq::test::ProgramRun;

// Runs the tool with arguments (shell words) and standard error folded into the output.
CliRun Cli(const std::string& args) {
    return vrq::test::RunProgram(std::string(VRQ_CLI_PATH) + " " + args);
}

TEST(CliNumbers, AcceptHexAndDecimalWithinRange) {
    using vrq::cli::ParseNumber;
    EXPECT_EQ(ParseNumber("0x44", 0x7F), 0x44U);
    EXPECT_EQ(ParseNumber("0X4a", 0x7F), 0x4AU);
    EXPECT_EQ(ParseNumber("68", 0x7F), 68U);
    EXPECT_FALSE(ParseNumber("0x80", 0x7F));
    EXPECT_FALSE(ParseNumber("", 0xFF));
    EXPECT_FALSE(ParseNumber("0x", 0xFF));
    EXPECT_FALSE(ParseNumber("12ab", 0xFF));
    EXPECT_FALSE(ParseNumber("-1", 0xFF));
    EXPECT_FALSE(ParseNumber("99999999999999999999", 0xFF));
}

TEST(Cli, ReadsAndWritesTheSimulatedChip) {
    // 0x01: the simulated board's default cables carry sources on channels A and C.
    EXPECT_EQ(Cli("--simulate read 0 13").out, "31 05 0C 12 00 00 00 CC CC 00 00 00 00\n");
    // Each run starts a fresh board, so write and read back in one trace.
    const CliRun written = Cli("--simulate --trace write 0x03 0x92");
    EXPECT_EQ(written.exitCode, 0);
    EXPECT_NE(written.out.find("> 00 02 01 88 03 92 00"), std::string::npos) << written.out;
    EXPECT_NE(written.out.find("< 00 00 "), std::string::npos) << written.out;
}

TEST(Cli, TraceLinesCarryAllSixtyFourBytes) {
    const CliRun run = Cli("--simulate --trace read 0 1");
    const std::string first = run.out.substr(0, run.out.find('\n'));
    EXPECT_EQ(first.size(), 2U + 64U * 3U - 1U);
    EXPECT_EQ(first.rfind("> 00 02 01 89 00 00", 0), 0U) << first;
}

TEST(Cli, ListsEveryBoardWithItsFirmware) {
    const CliRun run = Cli("--simulate=3 list");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out,
              "0  sim:board0  Firmware Version 1.2 - 2008/March/15\n"
              "1  sim:board1  Firmware Version 1.2 - 2008/March/15\n"
              "2  sim:board2  Firmware Version 1.2 - 2008/March/15\n");
}

TEST(Cli, BoardCommands) {
    EXPECT_EQ(Cli("--simulate firmware").out, "Firmware Version 1.2 - 2008/March/15\n");
    EXPECT_EQ(Cli("--simulate led").out, "off\n");
    EXPECT_EQ(Cli("--simulate led on").exitCode, 0);
    EXPECT_EQ(Cli("--simulate clock").out, "base 12 MHz, divider 120, 100 kHz\n");
    EXPECT_EQ(Cli("--simulate --trace clock 60").out.find("> 00 03 00 3C 00"), 0U);
}

TEST(Cli, DecodesRegisterValuesFieldByField) {
    EXPECT_EQ(Cli("decode 6 0x35").out,
              "0x06 = 35  Drive and PreEmphasis (0x06)\n"
              "  7:4 Transmit PreEmphasis = 0x3: 0.375 mA\n"
              "  3:0 Transmit Current = 0x5: 10.625 mA\n");
    const CliRun read = Cli("--simulate read 0x10 --decode");
    EXPECT_EQ(read.exitCode, 0);
    EXPECT_EQ(read.out.rfind("10\n0x10 = 10  PLL Settings (0x10)\n", 0), 0U) << read.out;
    EXPECT_NE(read.out.find("4 MHz"), std::string::npos) << read.out;
}

TEST(Cli, ArgumentsAreCheckedBeforeAnyBoardIsLookedFor) {
    // No --simulate: on a machine without a board, discovery would fail first.
    const CliRun run = Cli("read 0 99");
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out, "read: COUNT must be 1 to 62 (0x for hexadecimal), not '99'\n");
    EXPECT_EQ(Cli("decode 0x100 0").out,
              "decode: REGISTER must be 0x00 to 0x15 (0x for hexadecimal), not '0x100'\n");
}

TEST(Cli, FailuresGoToStandardErrorWithANonZeroExit) {
    const CliRun noChip = Cli("--simulate --address 0x50 read 0");
    EXPECT_NE(noChip.exitCode, 0);
    EXPECT_NE(noChip.out.find("the chip at address 0x50 did not acknowledge"), std::string::npos)
        << noChip.out;
    EXPECT_EQ(noChip.out.find("Retry"), std::string::npos) << "nobody is there to press it";

    const CliRun badBoard = Cli("--simulate=2 --board 2 read 0");
    EXPECT_NE(badBoard.exitCode, 0);
    EXPECT_NE(badBoard.out.find("there are 2 boards (instances 0 to 1)"), std::string::npos)
        << badBoard.out;
    const CliRun oneBoard = Cli("--simulate --board 7 read 0");
    EXPECT_NE(oneBoard.out.find("there is 1 board (instance 0)"), std::string::npos)
        << oneBoard.out;

    EXPECT_NE(Cli("--simulate write 0 0x100").exitCode, 0);
    EXPECT_NE(Cli("--simulate read 0 63").exitCode, 0);
    EXPECT_NE(Cli("--simulate clock 0").exitCode, 0);
    EXPECT_NE(Cli("--simulate --address 0x80 read 0").exitCode, 0);
    EXPECT_NE(Cli("--simulate").exitCode, 0) << "a command is required";
    EXPECT_NE(Cli("--simulate=0 read 0").exitCode, 0);
}

}  // namespace

namespace {

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "cli_" + name;
}

std::string ReadAll(const std::string& path) {
    std::string content;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::array<char, 4096> chunk{};
        std::size_t n = 0;
        while ((n = std::fread(chunk.data(), 1, chunk.size(), f)) > 0) {
            content.append(chunk.data(), n);
        }
        std::fclose(f);
    }
    return content;
}

void WriteAll(const std::string& path, const std::string& content) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
}

TEST(CliRegisterFiles, SaveWritesTheWorkingSetAndLoadWritesItBack) {
    const std::string path = TempPath("saved.txt");
    ASSERT_EQ(Cli("--simulate save " + path).exitCode, 0);
    EXPECT_EQ(ReadAll(path),
              "//VRQ66208A Register File\r\n0x00\t31\r\n0x01\t05\r\n0x02\t0C\r\n0x03\t12\r\n"
              "0x04\t00\r\n0x05\t00\r\n0x06\t00\r\n0x07\tCC\r\n0x08\tCC\r\n0x09\t00\r\n"
              "0x0A\t00\r\n0x0B\t00\r\n0x0C\t00\r\n0x10\t10\r\n");

    const CliRun load = Cli("--simulate --trace load " + path);
    EXPECT_EQ(load.exitCode, 0) << load.out;
    EXPECT_NE(load.out.find("> 00 02 01 88 00 31 00"), std::string::npos) << load.out;
    EXPECT_NE(load.out.find("> 00 02 01 88 10 10 00"), std::string::npos) << load.out;
}

TEST(CliRegisterFiles, AFileThatFailsTheChecksWritesNothing) {
    const std::string bad = TempPath("bad.txt");
    WriteAll(bad, "//VRQ66208A Register File\r\n0x04\t55\r\n0x05\t01\r\n0x06 02\r\n0x07\tZZ\r\n");
    const CliRun run = Cli("--simulate --trace load " + bad);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.out.find("Line 5"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("No register was written."), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("> 00 02 01 88"), std::string::npos) << "nothing written";

    const std::string notOurs = TempPath("lower.txt");
    WriteAll(notOurs, "//vrq66208a register file\r\n0x04\t55\r\n");
    const CliRun wrong = Cli("--simulate load " + notOurs);
    EXPECT_NE(wrong.exitCode, 0);
    EXPECT_NE(wrong.out.find("File selected is not a valid VRQ66208A register file"),
              std::string::npos);

    EXPECT_NE(Cli("--simulate load " + TempPath("missing.txt")).exitCode, 0);
}

TEST(CliRegisterFiles, AFailedSaveLeavesTheOldFileWhole) {
    const std::string path = TempPath("keep.txt");
    WriteAll(path, "old contents");
    const CliRun run = Cli("--simulate --address 0x50 save " + path);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(ReadAll(path), "old contents");
    EXPECT_NE(Cli("--simulate save " + TempPath("no/such/folder/x.txt")).exitCode, 0);
}

}  // namespace
