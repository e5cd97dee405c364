// The tool's plain parts, without a process: numbers, JSON, the checked output, the simulated
// faults' names.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "cli/json.h"
#include "cli/numbers.h"
#include "cli/output.h"
#include "sim/program_boards.h"

namespace {

using namespace vrq::cli;

TEST(CliNumbers, ArgumentsOutOfRangeAreRefusedWithTheirRange) {
    std::string error;
    EXPECT_EQ(ParseArgument({"COUNT", 1, 62, false}, "62", error), 62U);
    EXPECT_FALSE(ParseArgument({"COUNT", 1, 62, false}, "0", error));
    EXPECT_EQ(error, "COUNT must be 1 to 62 (0x for hexadecimal), not '0'");
    EXPECT_FALSE(ParseByteArgument("VALUE", "", error));
    EXPECT_EQ(error, "VALUE must be 0x00 to 0xFF (0x for hexadecimal), not ''");
    EXPECT_FALSE(ParseArgument({"--address", 0, 0x7F, true}, " 0x44", error)) << "no blanks";
}

TEST(CliNumbers, ARunMayEndAtRegisterFFButNotPastIt) {
    EXPECT_EQ(RunPastLastRegister(0xFF, 1), "");
    EXPECT_EQ(RunPastLastRegister(0xC5, 59), "");
    EXPECT_EQ(RunPastLastRegister(0xFF, 2),
              "2 registers from 0xFF would run to 0x100, past the last register 0xFF: start "
              "lower or give fewer");
    EXPECT_NE(RunPastLastRegister(0xC6, 59), "");
}

TEST(CliNumbers, ReservedAddressesAreTheTwoEndsOfTheRange) {
    for (unsigned a : {0x00U, 0x07U, 0x78U, 0x7FU}) {
        EXPECT_TRUE(IsReservedAddress(a)) << a;
    }
    EXPECT_FALSE(IsReservedAddress(0x08));
    EXPECT_FALSE(IsReservedAddress(0x77));
}

struct DividerCase {
    unsigned baseMHz;
    double khz;
    unsigned divider;
};

class CliNearestDivider : public testing::TestWithParam<DividerCase> {};

TEST_P(CliNearestDivider, PicksTheDividerNearestInFrequency) {
    EXPECT_EQ(NearestDivider(GetParam().baseMHz, GetParam().khz), GetParam().divider);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliNearestDivider,
    testing::Values(DividerCase{12, 100, 120}, DividerCase{12, 400, 30},
                    // 12000/7 = 1714.3 and 12000/8 = 1500: 1600 is nearer 1500.
                    DividerCase{12, 1600, 8},
                    // 12000/5 = 2400 and /4 = 3000 are equally far from 2700: the slower.
                    DividerCase{12, 2700, 5}, DividerCase{12, 1, 255}, DividerCase{12, 99999, 1},
                    DividerCase{12, 12000, 1}));

TEST(CliNumbers, KilohertzAreWholeWhenExact) {
    EXPECT_EQ(KhzText(BusKhz(12, 120)), "100");
    EXPECT_EQ(KhzText(BusKhz(12, 7)), "1714.3");
    EXPECT_EQ(KhzText(BusKhz(12, 0)), "46.9") << "divider 0 counts as 256";
}

TEST(CliJson, EscapesWhatJsonAsksAndKeepsUtf8) {
    EXPECT_EQ(JsonString("a\"b\\c"), R"("a\"b\\c")");
    EXPECT_EQ(JsonString("\n\r\t\x01\x1f\x7f"), R"("\n\r\t\u0001\u001F)"
                                                "\x7f\"");
    EXPECT_EQ(JsonString("Ä €"), "\"Ä €\"");
    EXPECT_EQ(JsonString(std::string("a\0b", 3)), R"("a\u0000b")");
}

TEST(CliJson, BytesThatAreNotUtf8BecomeReplacementCharacters) {
    const std::string replacement = "\xEF\xBF\xBD";
    // A stray continuation byte, a lead cut short, an overlong '/', a surrogate, past U+10FFFF.
    for (const char* bad : {"\x80", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        const std::string quoted = JsonString(bad);
        EXPECT_EQ(quoted.find_first_not_of("\"" + replacement), std::string::npos) << bad;
        EXPECT_NE(quoted.find(replacement), std::string::npos) << bad;
    }
    EXPECT_EQ(JsonString("/dev/x\xFFy"), "\"/dev/x" + replacement + "y\"");
}

TEST(CliJson, WritesCommasAndNestingItself) {
    Json json;
    json.BeginObject().Key("a").Int(-1).Key("b").BeginArray();
    json.Bool(true).Null().BeginObject().EndObject().BeginArray().EndArray();
    json.EndArray().Key("c").Real(1714.2857, 3).Key("d").Real(100.0, 3).Key("e").String("x");
    json.EndObject();
    EXPECT_EQ(json.Document(), R"({"a":-1,"b":[true,null,{},[]],"c":1714.286,"d":100,"e":"x"})"
                               "\n");
}

TEST(CliOutput, AFullDiskIsAFailureAtTheLatestWhenClosing) {
    Output out(std::fopen("/dev/full", "w"));
    out.Write("31 00 0C\n");
    EXPECT_FALSE(out.Close());
    EXPECT_EQ(out.Error(), ENOSPC);
    EXPECT_EQ(OutputFailureText("standard output", out.Error()),
              "standard output could not be written: No space left on device: free some space "
              "and run the command again");
}

TEST(CliOutput, AReaderThatWentAwayIsAFailureNotASignal) {
    IgnoreBrokenPipe();
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    Output out(fdopen(ends[1], "w"));
    out.Write("31\n");
    EXPECT_FALSE(out.Flush());
    EXPECT_EQ(out.Error(), EPIPE);
    out.Write("more");  // ignored after the failure
    EXPECT_FALSE(out.Close());
    EXPECT_EQ(out.Error(), EPIPE);
}

TEST(CliOutput, AWrittenFileIsASuccess) {
    Output out(std::tmpfile());
    out.Write("31\n");
    EXPECT_TRUE(out.Flush());
    EXPECT_TRUE(out.Close());
    EXPECT_FALSE(out.Failed());
}

TEST(CliSimulatedFaults, NamesWithAnOptionalBoard) {
    using vrq::sim::FaultKind;
    const auto all = vrq::sim::ParseFault("no-ack");
    ASSERT_TRUE(all);
    EXPECT_EQ(all->kind, FaultKind::NoAcknowledge);
    EXPECT_EQ(all->board, -1);
    const auto one = vrq::sim::ParseFault("open-in-use:15");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->kind, FaultKind::OpenInUse);
    EXPECT_EQ(one->board, 15);
    for (const char* bad :
         {"", "no_ack", "NO-ACK", "no-ack:", "no-ack:16", "no-ack:-1", "no-ack:1x", ":1"}) {
        EXPECT_FALSE(vrq::sim::ParseFault(bad)) << bad;
    }
    // Every name the help lists is one the parser takes.
    const std::string names = vrq::sim::FaultKindNames();
    for (std::size_t at = 0; at < names.size();) {
        const std::size_t end = std::min(names.find(", ", at), names.size());
        EXPECT_TRUE(vrq::sim::ParseFault(names.substr(at, end - at))) << names.substr(at, end - at);
        at = end + 2;
    }
}

}  // namespace
