// The bus trace's recording and its words: a row for each kind of exchange and each fault as
// the board link hands them over, the ring's bound, the CSV text and the replay script.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <ostream>

#include "trace_fixture.h"

namespace vrq::test {
namespace {

using namespace std::chrono_literals;
using ui::TraceRecorder;

struct RowCase {
    const char* name;
    std::function<void(TraceTest&)> act;
    std::vector<Words> rows;  // request, register, result
};

void PrintTo(const RowCase& c, std::ostream* out) {
    *out << c.name;
}

class TraceRowTest : public TraceTest, public ::testing::WithParamInterface<RowCase> {};

TEST_P(TraceRowTest, RecordsTheExchangeInWords) {
    TraceRecorder recorder(hub, clock);
    GetParam().act(*this);
    EXPECT_EQ(RowWords(recorder), GetParam().rows);
}

// A report nobody asked for arrives with each of the next n commands, before their answers.
void StrayWithNextCommands(TraceTest& t, int n) {
    auto left = std::make_shared<int>(n);
    t.Board().onCommand = [&t, left](const board::Report&) {
        t.sim.SendUnsolicitedAnswer(0);
        if (--*left == 0) {
            t.Board().onCommand = nullptr;  // the last thing this call does: it ends the lambda
        }
    };
}

// Several exchanges a case where they share a concern; each fault on its own.
const RowCase kRowCases[] = {
    {"Transfers",
     [](TraceTest& t) {
         std::array<std::uint8_t, 3> run{};
         t.Session().ReadRegisters(kChip, 0x00, run);
         t.Read(0x11);
         t.Write(0x03, {0x92});
         t.Write(0x05, {0x00, 0x11});
     },
     {{"read 0x00..0x02 at 0x44", "", "OK: 31 00 0C"},
      {"read 0x11 at 0x44", "Termination Trim", "OK: 00"},
      {"write 0x03 = 0x92 at 0x44", "Input Control", "OK"},
      {"write 0x05..0x06 = 0x00 0x11 at 0x44", "", "OK"}}},
    {"BoardCommandsAndTheirAcknowledgements",
     [](TraceTest& t) {
         t.Session().SetLed(true);
         t.Session().SetBusClockDivider(120);
         t.Session().ReadLed();
         t.Session().ReadBusClock();
         t.Session().ReadFirmwareVersion();
     },
     {{"LED on", "", "sent"},
      {"drain: 1 owed answer", "", "OK"},
      {"clock divider 120", "", "sent"},
      {"drain: 1 owed answer", "", "OK"},
      {"read LED", "", "OK: LED on"},
      {"read clock", "", "OK: 12 MHz / 120 = 100 kHz"},
      {"firmware version", "", "OK: Firmware Version 1.2 - 2008/March/15"}}},
    {"StaleReportsDrained",
     [](TraceTest& t) {
         t.Session().SetLed(false);
         t.sim.SendUnsolicitedAnswer(0);
         t.Read(0x03);
         t.sim.SendUnsolicitedAnswer(0);
         t.sim.SendUnsolicitedAnswer(0);
         t.Read(0x03);
     },
     {{"LED off", "", "sent"},
      {"drain: 1 owed answer, 1 stale report", "", "OK"},
      {"read 0x03 at 0x44", "Input Control", "OK: 12"},
      {"drain: 2 stale reports", "", "OK"},
      {"read 0x03 at 0x44", "Input Control", "OK: 12"}}},
    {"NoAcknowledge",
     [](TraceTest& t) { t.Read(0x03, 0x8A); },
     {{"read 0x03 at 0x45", "Input Control", "no acknowledge"}}},
    {"NoAnswerInTheSessionsTimeOut",
     [](TraceTest& t) {
         t.Board().dropAnswers = 1;
         t.Read(0x03);
     },
     {{"read 0x03 at 0x44", "Input Control", "no answer in 6 s"}}},
    {"ReportNotWritten",
     [](TraceTest& t) {
         t.Board().failWrites = 2;
         t.Write(0x03, {0x92});
         t.Session().SetLed(true);
     },
     {{"write 0x03 = 0x92 at 0x44", "Input Control", "report not written"},
      {"LED on", "", "report not written"}}},
    {"BoardUnpluggedDuringTheExchange",
     [](TraceTest& t) {
         t.Board().onCommand = [&t](const board::Report&) { t.sim.Unplug(0); };
         t.Read(0x03);
     },
     {{"read 0x03 at 0x44", "Input Control", "board gone"}}},
    // The stray report after the answer is taken by the session's own check, not a drain.
    {"OutOfStepThenRepeated",
     [](TraceTest& t) {
         StrayWithNextCommands(t, 1);
         t.Read(0x03);
     },
     {{"read 0x03 at 0x44", "Input Control", "out of step: repeated"},
      {"read 0x03 at 0x44 (repeat)", "Input Control", "OK: 12"}}},
    {"OutOfStepTwiceIsAmbiguous",
     [](TraceTest& t) {
         StrayWithNextCommands(t, 2);
         t.Write(0x03, {0x92});
     },
     {{"write 0x03 = 0x92 at 0x44", "Input Control", "out of step: repeated"},
      {"write 0x03 = 0x92 at 0x44 (repeat)", "Input Control", "answer ambiguous"}}},
};

INSTANTIATE_TEST_SUITE_P(Exchanges, TraceRowTest, ::testing::ValuesIn(kRowCases),
                         [](const auto& c) { return std::string(c.param.name); });

TEST_F(TraceTest, RawReportsShowBothReportsOrSayWhyNot) {
    TraceRecorder recorder(hub, clock);
    Write(0x03, {0x92});
    Session().SetLed(true);
    Read(0x03);  // after the drain of the LED's acknowledgement
    std::vector<std::string> raw;
    recorder.ForEach([&](const board::Exchange& e) { raw.push_back(ui::RawReportsText(e)); });
    ASSERT_EQ(raw.size(), 4U);
    const std::string zeros = " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n";
    EXPECT_EQ(raw[0],
              "Request (host to board)\n00  00 02 01 88 03 92 00 00 00 00 00 00 00 00 00 00\n"
              "10 " +
                  zeros + "20 " + zeros + "30 " + zeros + "\nAnswer (board to host)\n00 " + zeros +
                  "10 " + zeros + "20 " + zeros + "30 " + zeros);
    EXPECT_NE(raw[1].find("none read: the command has none"), std::string::npos) << raw[1];
    EXPECT_NE(raw[2].find("none: a drain sends nothing"), std::string::npos) << raw[2];
    EXPECT_NE(raw[3].find("\n00  00 00 92 00"), std::string::npos) << raw[3];
}

// ---------------------------------------------------------------- the ring (the window's
// test fills the full one)

board::Exchange Tagged(int tag) {
    board::Exchange e;
    e.board = tag;
    return e;
}

TEST_F(TraceTest, ClearedBeforeTheRingFilledKeepsOnlyTheNewOnes) {
    TraceRecorder recorder(hub, clock, 4);
    for (int i = 0; i < 3; ++i) {
        recorder.OnExchange(Tagged(i));
    }
    recorder.Clear();
    for (int i = 10; i < 16; ++i) {
        recorder.OnExchange(Tagged(i));
    }
    std::vector<int> kept;
    recorder.ForEach([&](const board::Exchange& e) { kept.push_back(e.board); });
    EXPECT_EQ(kept, (std::vector<int>{12, 13, 14, 15}));
    EXPECT_EQ(recorder.Dropped(), 2U);
    // A script of it says from when it was recorded, and that the oldest ones are missing.
    const std::string script = ui::TraceScript(recorder);
    EXPECT_NE(script.find("# Recorded from " + ui::WallTimeText(recorder.WallOrigin()) +
                          ", when the trace was cleared.\n# The 2 oldest exchanges are no "
                          "longer kept"),
              std::string::npos)
        << script;
}

// ---------------------------------------------------------------- CSV

// " 00" n times: the zero bytes that fill a report.
std::string Zeros(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) {
        s += " 00";
    }
    return s;
}

std::vector<std::string> Lines(const std::string& text, const std::string& end) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(end, from)) != std::string::npos; from = at + end.size()) {
        lines.push_back(text.substr(from, at - from));
    }
    EXPECT_EQ(from, text.size()) << "the last line ends too";
    return lines;
}

TEST_F(TraceTest, CsvHasAHeaderAndOneQuotedWhereNeededLinePerShownRow) {
    Advance(5ms);  // times count from the recording's start
    TraceRecorder recorder(hub, clock);
    Session().SetLed(true);
    sim.SendUnsolicitedAnswer(0);
    Advance(2ms);
    Write(0x03, {0x92});

    const std::vector<std::string> all = Lines(ui::TraceCsv(recorder, false), "\r\n");
    ASSERT_EQ(all.size(), 4U);
    EXPECT_EQ(all[0],
              "Time (ms),Board,Request,Register,Result,Round trip (ms),Request report,"
              "Answer report");
    EXPECT_EQ(all[1], "0.000,0,LED on,,sent,0.000,00 01 00 01" + Zeros(60) + ",");
    EXPECT_EQ(all[2], "2.000,0,\"drain: 1 owed answer, 1 stale report\",,OK,0.000,,00" + Zeros(63));
    EXPECT_EQ(all[3], "2.000,0,write 0x03 = 0x92 at 0x44,Input Control,OK,0.000,00 02 01 88 03 92" +
                          Zeros(58) + ",00" + Zeros(63));

    const std::vector<std::string> registers = Lines(ui::TraceCsv(recorder, true), "\r\n");
    ASSERT_EQ(registers.size(), 2U);
    EXPECT_EQ(registers[1], all[3]);
}

// ---------------------------------------------------------------- replay script

TEST_F(TraceTest, ScriptReplaysTheChangesInOrderWithTheirPausesAndBoards) {
    sim.AddBoard();
    link.FindBoards();
    TraceRecorder recorder(hub, clock);
    Session().SetLed(true);
    Read(0x03);  // reads are not replayed
    Write(0x03, {0x92});
    Advance(250ms);
    Session().SetBusClockDivider(60);
    Advance(50ms);  // not more than 50 ms: no pause
    Write(0x04, {0x01}, 0x8A);
    Board().failWrites = 1;
    Session().SetBusClockDivider(30);
    Board().dropAnswers = 1;
    Write(0x07, {0x55});  // no answer in 6 s; the next drain waits 0.1 s for it still
    Write(0x05, {0x00, 0x11});
    Advance(1500ms);
    Session().SetLed(false);
    StrayWithNextCommands(*this, 1);
    Write(0x09, {0x01});  // out of step once, then repeated
    Advance(51ms);
    Write(0x02, {0x0D});
    Write(0x0A, {0x00});  // read-only: the tool needs --force to write it
    link.SelectBoard(1);
    Session().SetLed(true);

    EXPECT_EQ(ui::TraceScript(recorder),
              "# vrq66208a-cli batch file saved by the bus trace: the register writes, LED and\n"
              "# clock-divider settings of the session, in order. Run: vrq66208a-cli batch FILE\n"
              "# Recorded from " +
                  ui::WallTimeText(recorder.WallOrigin()) +
                  ", the start of the session.\n"
                  "# board 0\n"
                  "led on\n"
                  "--address 0x44 write 0x03 0x92\n"
                  "sleep 0.25\n"
                  "clock 60\n"
                  "# not replayed: write 0x04 = 0x01 at 0x45: no acknowledge\n"
                  "# not replayed: clock divider 30: report not written\n"
                  "# not replayed: write 0x07 = 0x55 at 0x44: no answer in 6 s\n"
                  "sleep 6.15\n"
                  "--address 0x44 write 0x05 0x00 0x11\n"
                  "sleep 1.5\n"
                  "led off\n"
                  "--address 0x44 write 0x09 0x01\n"
                  "sleep 0.051\n"
                  "--address 0x44 write 0x02 0x0D\n"
                  "--force --address 0x44 write 0x0A 0x00\n"
                  "# board 1\n"
                  "led on\n");
}

}  // namespace
}  // namespace vrq::test
