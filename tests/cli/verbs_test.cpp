// The verbs against a simulated chip the test prepares, run in this process through one Runner.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "device/register_map.h"
#include "in_process.h"

namespace {

using vrq::cli::ExitCode;
using vrq::test::InProcess;
using vrq::test::Ran;

constexpr std::uint8_t kChip = vrq::device::kDefaultChipAddress7;

TEST(CliVerbs, DumpChangedShowsOnlyWhatDiffersFromReset) {
    InProcess tool;
    tool.Chip().Poke(0x06, 0x35);
    tool.Chip().Poke(0x13, 0x01);
    const Ran ran = tool.Run("dump --changed");
    EXPECT_EQ(ran.code, ExitCode::Ok) << ran.err;
    EXPECT_EQ(ran.out,
              "ADDR  NAME                    VALUE  RESET\n"
              "0x06  Drive and PreEmphasis   35 *   00\n"
              "      7:4 Transmit PreEmphasis = 0x3: 0.375 mA\n"
              "      3:0 Transmit Current = 0x5: 10.625 mA\n"
              "0x13  Misc. Debug Control     01 *   00\n"
              "* differs from its reset value\n");
    EXPECT_EQ(tool.Board().Commands().size(), 1U) << "one read of all 22 registers";
}

TEST(CliVerbs, DumpJsonNamesEveryRegister) {
    InProcess tool;
    const Ran ran = tool.Run("dump --json");
    ASSERT_EQ(ran.code, ExitCode::Ok) << ran.err;
    EXPECT_EQ(
        ran.out.rfind(R"({"address":68,"registers":[{"register":0,"name":"Device ID and Rev",)"
                      R"("value":49,"fields":[{"bits":"7:4","name":"Device ID","value":3,)",
                      0),
        0U)
        << ran.out;
    EXPECT_NE(ran.out.find(R"({"register":21,"name":"Misc Status","value":0,"fields":[],)"
                           R"("reset":0,"changed":false}]})"),
              std::string::npos)
        << ran.out;
}

TEST(CliVerbs, WriteWithAMaskKeepsTheOtherBits) {
    InProcess tool;
    tool.Chip().Poke(0x07, 0x5A);
    tool.Chip().Poke(0x08, 0xA5);
    EXPECT_EQ(tool.Run("write 7 --mask 0x0F 0x03 0x0C --verify").code, ExitCode::Ok);
    EXPECT_EQ(tool.Chip().Peek(0x07), 0x53);
    EXPECT_EQ(tool.Chip().Peek(0x08), 0xAC);
}

TEST(CliVerbs, VerifyNamesEachRegisterThatReadsBackOtherwise) {
    InProcess tool;
    // Register 0x05 keeps bits 3..0 only; 0x04 keeps all.
    const Ran ran = tool.Run("write 4 0x81 0xFF --verify");
    EXPECT_EQ(ran.code, ExitCode::Differs);
    EXPECT_EQ(ran.err, "register 0x05 (Output Options): 0xFF written, 0x0F read back\n");
    // A read-only register, written with --force, keeps its own value.
    EXPECT_EQ(tool.Run("write 0 0x55 --force --verify").err,
              "register 0x00 (Device ID and Rev): 0x55 written, 0x31 read back\n");
}

TEST(CliVerbs, RecalHoldsBitSevenHighForATenthOfASecond) {
    InProcess tool;
    tool.Chip().Poke(0x03, 0x52);
    std::vector<std::pair<vrq::board::Clock::TimePoint, std::uint8_t>> writes;
    tool.Board().onCommand = [&](const vrq::board::Report& command) {
        if ((command[3] & 1) == 0) {  // a write: its value is byte 5
            writes.emplace_back(tool.clock.Now(), command[5]);
        }
    };
    EXPECT_EQ(tool.Run("recal").code, ExitCode::Ok);
    ASSERT_EQ(writes.size(), 2U);
    EXPECT_EQ(writes[0].second, 0xD2);
    EXPECT_EQ(writes[1].second, 0x52);
    EXPECT_EQ(writes[1].first - writes[0].first, std::chrono::milliseconds(100));
}

TEST(CliVerbs, TheBoardStaysOpenFromOneCommandToTheNext) {
    InProcess tool(2);
    EXPECT_EQ(tool.Run("write 3 0x92").code, ExitCode::Ok);
    EXPECT_EQ(tool.Run("read 3").out, "92\n");
    // list asks the open board through its session rather than open it a second time.
    const Ran list = tool.Run("list");
    EXPECT_EQ(list.code, ExitCode::Ok) << list.err;
    EXPECT_EQ(list.out,
              "0  sim:board0  Firmware Version 1.2 - 2008/March/15\n"
              "1  sim:board1  Firmware Version 1.2 - 2008/March/15\n");
    EXPECT_EQ(tool.sim.TotalOpens(), 2);
}

TEST(CliVerbs, ClockKhzSetsTheNearestDividerAndSaysWhich) {
    InProcess tool;
    const Ran ran = tool.Run("clock --khz 1600");
    EXPECT_EQ(ran.out, "divider 8: 1500 kHz from the 12 MHz base clock, the nearest to 1600 kHz\n");
    EXPECT_EQ(tool.Board().Divider(), 8);
    EXPECT_EQ(tool.Run("clock --json").out, R"({"base_mhz":12,"divider":8,"khz":1500})"
                                            "\n");
}

TEST(CliVerbs, DetectMarksTheChipThatReadsItsIdentification) {
    InProcess tool;
    tool.sim.Board(0).Chip().SetAddress7(0x08);
    const Ran ran = tool.Run("detect");
    EXPECT_EQ(ran.code, ExitCode::Ok);
    EXPECT_EQ(ran.out.substr(0, ran.out.find("10:")),
              "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f\n"
              "00:                         08*-- -- -- -- -- -- -- \n");
    EXPECT_NE(ran.out.find("70: -- -- -- -- -- -- -- --                         \n"
                           "* register 0x00 reads 0x31: a VRQ66208A\n"),
              std::string::npos)
        << ran.out;
    EXPECT_EQ(tool.Board().Commands().size(), 112U);
}

TEST(CliVerbs, DetectAllProbesTheReservedAddressesAndFirstStops) {
    InProcess tool;
    tool.Chip().SetDeviceId(0x12);
    const Ran all = tool.Run("detect --all --json");
    EXPECT_EQ(all.out, R"({"from":0,"to":127,"probed":128,"chips":[{"address":68,)"
                       R"("register_00":18,"vrq66208a":false}]})"
                       "\n");
    tool.Chip().SetDeviceId(0x31);
    tool.Board().ClearCommands();
    const Ran first = tool.Run("detect --first --json");
    EXPECT_EQ(first.out, R"({"from":8,"to":119,"probed":61,"chips":[{"address":68,)"
                         R"("register_00":49,"vrq66208a":true}]})"
                         "\n");
    EXPECT_EQ(tool.Board().Commands().size(), 61U);
}

TEST(CliVerbs, RetriesRepeatOnlyWhatFailedOnTheUsbSide) {
    InProcess tool;
    tool.Board().failWrites = 2;
    EXPECT_EQ(tool.Run("--retries 1 read 0").code, ExitCode::Board);
    tool.Board().failWrites = 2;
    EXPECT_EQ(tool.Run("--retries 2 read 0").out, "31\n");
    tool.Chip().SetAcknowledge(false);
    tool.Board().ClearCommands();
    EXPECT_EQ(tool.Run("--retries 5 read 0").code, ExitCode::NoAcknowledge);
    EXPECT_EQ(tool.Board().Commands().size(), 1U) << "a chip that said no is not asked again";
}

TEST(CliVerbs, LoadVerifyComparesTheRegistersTheChipKeeps) {
    InProcess tool;
    const std::string path = testing::TempDir() + "cli_verify.txt";
    // 0x00 is read-only and not compared; 0x02 with automatic selection keeps its channel bits.
    std::ofstream(path) << "//VRQ66208A Register File\r\n0x00\t55\r\n0x02\t0D\r\n0x06\t35\r\n";
    const Ran ran = tool.Run("load --verify " + path);
    EXPECT_EQ(ran.code, ExitCode::Differs);
    EXPECT_EQ(ran.err, "register 0x02 (Channel Select): 0x0D written, 0x0C read back\n");
    EXPECT_EQ(tool.Chip().Peek(0x06), 0x35);
    std::remove(path.c_str());
}

}  // namespace
