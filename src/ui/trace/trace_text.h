// The bus trace in words: each recorded exchange as a table row, its raw reports, the trace
// as CSV text, and the session's changes as a batch file for the command-line tool. Plain
// C++; register names come from the register map.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "board/board_session.h"
#include "board/clock.h"
#include "board/report.h"
#include "ui/trace/trace_log.h"

namespace vrq::ui {

enum class TraceColumn : std::uint8_t { Time, Board, Request, Register, Result, RoundTrip };
inline constexpr int kTraceColumnCount = 6;
// "Time (ms)", "Board", "Request", "Register", "Result", "Round trip (ms)".
std::string_view TraceColumnTitle(TraceColumn column);

// One column of an exchange's row; times count from origin.
//   Request:  "read 0x00..0x0C at 0x44", "write 0x03 = 0x92 at 0x44", "LED on",
//             "clock divider 120", "read LED", "read clock", "firmware version",
//             "drain: 2 stale reports"; " (repeat)" after a request sent again.
//   Register: the register's name when the transfer moves one register, else empty.
//   Result:   "OK" (with what was read: "OK: 31 00 0C", "OK: LED on"), "no acknowledge",
//             "no answer in 6 s", "report not written", "board gone", "answer ambiguous",
//             "out of step: repeated".
std::string TraceCell(const board::Exchange& exchange, TraceColumn column,
                      board::Clock::TimePoint origin);

// Register transfers (I2C commands), as opposed to the board's own commands and drains.
bool IsRegisterTraffic(const board::Exchange& exchange);

// The request and answer reports, 16 bytes a line with the offset in front, each under a
// heading; says so where a report was not sent or not received.
std::string RawReportsText(const board::Exchange& exchange);

// The rows the filter shows as CSV (RFC 4180, CR LF line ends): a header line with the
// column titles and both raw reports, then one line per exchange, oldest first.
std::string TraceCsv(const TraceRecorder& recorder, bool registersOnly);
std::string CsvHeaderLine();
std::string CsvLine(const board::Exchange& exchange, board::Clock::TimePoint origin);
// Fields joined with a tab, one row a line (for the clipboard).
std::string TabLine(const board::Exchange& exchange, board::Clock::TimePoint origin);

// A batch file for the command-line tool that replays the recorded register writes, LED and
// clock-divider settings in order. One command line a line, without the program's name;
// every write names its chip address (`--address 0x44 write 0x03 0x92`), an option on a line
// holding for that line only. Where more than kScriptGapMs passed between the end of one
// replayed command and the start of the next, a `sleep S` line (seconds) keeps the pace.
// Changes that may not have reached the chip (not written, not acknowledged, no answer) are
// not replayed: a `#` comment says what was left out, and another names each change of board.
// Its header says from when the recording runs (the session's start or the last Clear), and
// when the ring has dropped the oldest exchanges, how many and from when the file replays.
inline constexpr int kScriptGapMs = 50;
std::string TraceScript(const TraceRecorder& recorder);
// "2026-12-07T18:41:04+01:00": local time as ISO 8601 writes it.
std::string WallTimeText(std::chrono::system_clock::time_point when);

}  // namespace vrq::ui
