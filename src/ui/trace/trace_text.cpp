#include "ui/trace/trace_text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>

#include "board/firmware_text.h"
#include "board/hex.h"
#include "board/register_transfer.h"
#include "device/register_map.h"

namespace vrq::ui {
namespace {

using board::Exchange;
using board::Outcome;
using board::Report;
namespace off = board::off;

constexpr std::array<std::string_view, kTraceColumnCount> kTitles{
    "Time (ms)", "Board", "Request", "Register", "Result", "Round trip (ms)"};

using board::Hex0x;  // how the trace and the batch file write addresses and values

std::string Ms(board::Clock::Duration span) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f",
                  std::chrono::duration<double, std::milli>(span).count());
    return text;
}

// "6 s", "1.5 s", "40 ms".
std::string SpanText(int ms) {
    char text[32];
    if (ms >= 1000) {
        std::snprintf(text, sizeof text, "%g s", ms / 1000.0);
    } else {
        std::snprintf(text, sizeof text, "%d ms", ms);
    }
    return text;
}

std::string Counted(int n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// The fields of an I2C command report.
struct Transfer {
    bool read = false;
    std::uint8_t address7 = 0;
    std::uint8_t first = 0;
    int count = 0;
};

std::optional<Transfer> TransferOf(const Exchange& e) {
    if (e.kind != Exchange::Kind::Request || e.request[off::kCommand] != board::CommandI2C) {
        return std::nullopt;
    }
    const std::uint8_t address = e.request[off::kAddress];
    return Transfer{(address & 1) != 0, static_cast<std::uint8_t>(address >> 1),
                    e.request[off::kFirstRegister], e.request[off::kCount]};
}

// "0x03" or "0x00..0x0C".
std::string RunText(const Transfer& t) {
    std::string text = Hex0x(t.first);
    if (t.count > 1) {
        text += ".." + Hex0x(static_cast<std::uint8_t>(t.first + t.count - 1));
    }
    return text;
}

// The values a write carries (at most what the report holds), "0x92 0x10".
std::string WrittenValues(const Exchange& e, int count) {
    std::string text;
    const int shown = std::min<int>(count, static_cast<int>(board::kMaxWriteCount));
    for (int i = 0; i < shown; ++i) {
        text +=
            (i == 0 ? "" : " ") + Hex0x(e.request[off::kWriteData + static_cast<std::size_t>(i)]);
    }
    return text;
}

std::string DrainText(const Exchange& e) {
    std::string text = "drain: ";
    const int stale = e.reports - e.owed;
    if (e.owed > 0) {
        text += Counted(e.owed, "owed answer", "owed answers");
    }
    if (stale > 0 || e.owed == 0) {
        text += (e.owed > 0 ? ", " : "") + Counted(stale, "stale report", "stale reports");
    }
    return text;
}

std::string RequestText(const Exchange& e) {
    if (e.kind == Exchange::Kind::Drain) {
        return DrainText(e);
    }
    const Report& r = e.request;
    std::string text;
    if (const auto t = TransferOf(e)) {
        text = t->read ? "read " + RunText(*t) + " at " + Hex0x(t->address7)
                       : "write " + RunText(*t) + " = " + WrittenValues(e, t->count) + " at " +
                             Hex0x(t->address7);
    } else {
        const bool set = r[off::kSubCommand] == board::kSubSet;
        const bool query = r[off::kSubCommand] == board::kSubQuery;
        const std::uint8_t value = r[off::kSetValue];
        switch (r[off::kCommand]) {
            case board::CommandGpio:
                if (set) {
                    text = value == 1 ? "LED on" : value == 0 ? "LED off" : "LED " + Hex0x(value);
                } else if (query) {
                    text = "read LED";
                }
                break;
            case board::CommandBusClock:
                if (set) {
                    text = "clock divider " + std::to_string(value);
                } else if (query) {
                    text = "read clock";
                }
                break;
            case board::CommandBoardInfo:
                if (query) {
                    text = "firmware version";
                }
                break;
            default:
                break;
        }
        if (text.empty()) {
            text = "command " + Hex0x(r[off::kCommand]) + " " + Hex0x(r[off::kSubCommand]);
        }
    }
    if (e.attempt > 1) {
        text += " (repeat)";
    }
    return text;
}

// The register map's name for a register: its dialog caption, else its label caption less
// the address; empty for the unnamed ones.
std::string RegisterName(std::uint8_t address) {
    const device::RegisterInfo* info = device::FindRegister(address);
    if (info == nullptr) {
        return {};
    }
    if (!info->buttonCaption.empty()) {
        return std::string(info->buttonCaption);
    }
    std::string_view caption = info->caption;
    if (const auto paren = caption.rfind(" ("); paren != std::string_view::npos) {
        caption = caption.substr(0, paren);
    }
    while (!caption.empty() && caption.back() == ' ') {
        caption.remove_suffix(1);
    }
    return std::string(caption);
}

// What an answer that came in step says.
std::string AnswerText(const Exchange& e) {
    const Report& a = e.answer;
    if (const auto t = TransferOf(e)) {
        if (!t->read) {
            return "OK";
        }
        std::string text = "OK:";
        const int count = std::min<int>(t->count, static_cast<int>(board::kMaxReadCount));
        for (int i = 0; i < count; ++i) {
            text += " " + board::ByteToHex(a[off::kReadData + static_cast<std::size_t>(i)]);
        }
        return text;
    }
    if (!e.expectsAnswer) {
        return "sent";
    }
    switch (e.request[off::kCommand]) {
        case board::CommandGpio:
            return (a[off::kGpioStatus] & board::kLedBit) != 0 ? "OK: LED on" : "OK: LED off";
        case board::CommandBusClock: {
            std::string text = "OK: " + std::to_string(a[off::kBaseClock]) + " MHz / " +
                               std::to_string(a[off::kDivider]);
            if (a[off::kDivider] != 0) {
                text +=
                    " = " + std::to_string(a[off::kBaseClock] * 1000 / a[off::kDivider]) + " kHz";
            }
            return text;
        }
        case board::CommandBoardInfo: {
            board::FirmwareVersion fw;
            fw.version = a[off::kFirmwareVersion];
            fw.year = a[off::kYearHigh] * 256 + a[off::kYearLow];
            fw.month = a[off::kMonth];
            fw.day = a[off::kDay];
            return "OK: " + board::FirmwareVersionText(fw, board::EnglishMonthName);
        }
        default:
            return "OK";
    }
}

std::string ResultText(const Exchange& e) {
    if (e.kind == Exchange::Kind::Drain) {
        return "OK";
    }
    if (e.outOfStep) {
        // The session repeats the first attempt; a second one out of step is its final word.
        return e.attempt > 1 ? std::string(board::OutcomeText(Outcome::Ambiguous))
                             : "out of step: repeated";
    }
    switch (e.outcome) {
        case Outcome::Ok:
            return AnswerText(e);
        case Outcome::NoAnswer:
            return "no answer in " + SpanText(e.timeoutMs);
        default:
            return std::string(board::OutcomeText(e.outcome));
    }
}

std::string ReportLines(const Report& report) {
    std::string text;
    for (std::size_t line = 0; line < board::kReportSize; line += 16) {
        text += board::ByteToHex(static_cast<std::uint8_t>(line)) + " ";
        for (std::size_t i = line; i < line + 16; ++i) {
            text += " " + board::ByteToHex(report[i]);
        }
        text += "\n";
    }
    return text;
}

std::string CsvField(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        return field;
    }
    std::string quoted = "\"";
    for (const char c : field) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::string ReportBytes(const Report& report) {
    std::string text;
    for (std::size_t i = 0; i < report.size(); ++i) {
        text += (i == 0 ? "" : " ") + board::ByteToHex(report[i]);
    }
    return text;
}

std::string JoinedCells(const Exchange& e, board::Clock::TimePoint origin, std::string_view gap,
                        bool quote) {
    std::string line;
    for (int c = 0; c < kTraceColumnCount; ++c) {
        const std::string cell = TraceCell(e, static_cast<TraceColumn>(c), origin);
        line += (c == 0 ? "" : std::string(gap)) + (quote ? CsvField(cell) : cell);
    }
    return line;
}

// "0.25", "1", "0.051": seconds to the millisecond, no trailing zeros.
std::string Seconds(long long ms) {
    std::string text = std::to_string(ms / 1000);
    if (const long long frac = ms % 1000; frac != 0) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%03lld", frac);
        std::string f = digits;
        while (f.back() == '0') {
            f.pop_back();
        }
        text += "." + f;
    }
    return text;
}

// The command line that replays a change, or empty when the exchange changes nothing.
std::string ReplayLine(const Exchange& e) {
    if (e.kind != Exchange::Kind::Request) {
        return {};
    }
    if (const auto t = TransferOf(e)) {
        if (t->read) {
            return {};
        }
        // What the tool refuses unasked (a read-only register, a reserved address) was
        // written all the same: the replay must write it too.
        bool force = board::IsReservedAddress(t->address7);
        for (int i = 0; i < t->count; ++i) {
            force = force || device::IsReadOnly(static_cast<std::uint8_t>(t->first + i));
        }
        return std::string(force ? "--force " : "") + "--address " + Hex0x(t->address7) +
               " write " + Hex0x(t->first) + " " + WrittenValues(e, t->count);
    }
    if (e.request[off::kSubCommand] != board::kSubSet) {
        return {};
    }
    const std::uint8_t value = e.request[off::kSetValue];
    switch (e.request[off::kCommand]) {
        case board::CommandGpio:
            return value == 0 ? "led off" : "led on";
        case board::CommandBusClock:
            return "clock " + std::to_string(value);
        default:
            return {};
    }
}

}  // namespace

std::string_view TraceColumnTitle(TraceColumn column) {
    return kTitles[static_cast<std::size_t>(column)];
}

std::string TraceCell(const Exchange& exchange, TraceColumn column,
                      board::Clock::TimePoint origin) {
    switch (column) {
        case TraceColumn::Time:
            return Ms(exchange.start - origin);
        case TraceColumn::Board:
            return std::to_string(exchange.board);
        case TraceColumn::Request:
            return RequestText(exchange);
        case TraceColumn::Register: {
            const auto t = TransferOf(exchange);
            return t && t->count == 1 ? RegisterName(t->first) : std::string();
        }
        case TraceColumn::Result:
            return ResultText(exchange);
        case TraceColumn::RoundTrip:
            return Ms(exchange.roundTrip);
    }
    return {};
}

bool IsRegisterTraffic(const Exchange& exchange) {
    return TransferOf(exchange).has_value();
}

std::string RawReportsText(const Exchange& exchange) {
    std::string text = "Request (host to board)\n";
    text += exchange.kind == Exchange::Kind::Drain ? "none: a drain sends nothing\n"
                                                   : ReportLines(exchange.request);
    text += "\nAnswer (board to host)\n";
    if (exchange.kind == Exchange::Kind::Drain) {
        text += "the last of the reports taken:\n" + ReportLines(exchange.answer);
    } else if (exchange.hasAnswer) {
        text += ReportLines(exchange.answer);
    } else {
        text += exchange.expectsAnswer ? "none received\n" : "none read: the command has none\n";
    }
    return text;
}

std::string CsvHeaderLine() {
    std::string line;
    for (int c = 0; c < kTraceColumnCount; ++c) {
        line += (c == 0 ? "" : ",") + std::string(TraceColumnTitle(static_cast<TraceColumn>(c)));
    }
    return line + ",Request report,Answer report";
}

std::string CsvLine(const Exchange& exchange, board::Clock::TimePoint origin) {
    const bool sent = exchange.kind == Exchange::Kind::Request;
    return JoinedCells(exchange, origin, ",", true) + "," +
           (sent ? ReportBytes(exchange.request) : "") + "," +
           (exchange.hasAnswer ? ReportBytes(exchange.answer) : "");
}

std::string TabLine(const Exchange& exchange, board::Clock::TimePoint origin) {
    return JoinedCells(exchange, origin, "\t", false);
}

std::string TraceCsv(const TraceRecorder& recorder, bool registersOnly) {
    std::string text = CsvHeaderLine() + "\r\n";
    recorder.ForEach([&](const Exchange& e) {
        if (!registersOnly || IsRegisterTraffic(e)) {
            text += CsvLine(e, recorder.Origin()) + "\r\n";
        }
    });
    return text;
}

std::string WallTimeText(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    std::string iso = text;
    if (iso.size() > 2) {
        iso.insert(iso.size() - 2, ":");  // +0100 as ISO 8601 writes it: +01:00
    }
    return iso;
}

std::string TraceScript(const TraceRecorder& recorder) {
    std::string text =
        "# vrq66208a-cli batch file saved by the bus trace: the register writes, LED and\n"
        "# clock-divider settings of the session, in order. Run: vrq66208a-cli batch FILE\n"
        "# Recorded from " +
        WallTimeText(recorder.WallOrigin()) +
        (recorder.Cleared() ? ", when the trace was cleared.\n" : ", the start of the session.\n");
    if (const std::uint64_t dropped = recorder.Dropped(); dropped > 0) {
        const Exchange& first = *recorder.At(recorder.FirstSeq());
        text += "# The " + std::to_string(dropped) +
                " oldest exchanges are no longer kept: what they changed is not here, and this\n"
                "# file replays from " +
                WallTimeText(recorder.WallOrigin() +
                             std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                 first.start - recorder.Origin())) +
                ".\n";
    }
    std::optional<board::Clock::TimePoint> lastEnd;
    int lastBoard = -1;
    recorder.ForEach([&](const Exchange& e) {
        const std::string line = ReplayLine(e);
        if (line.empty() || (e.outOfStep && e.attempt == 1)) {
            return;  // nothing to replay, or the session sent it again: the repeat decides
        }
        if (e.outcome != Outcome::Ok || e.outOfStep) {
            text += "# not replayed: " + RequestText(e) + ": " + ResultText(e) + "\n";
            return;
        }
        if (e.board != lastBoard) {
            text += "# board " + std::to_string(e.board) + "\n";
            lastBoard = e.board;
        }
        if (lastEnd) {
            const auto gap =
                std::chrono::round<std::chrono::milliseconds>(e.start - *lastEnd).count();
            if (gap > kScriptGapMs) {
                text += "sleep " + Seconds(gap) + "\n";
            }
        }
        text += line + "\n";
        lastEnd = e.start + e.roundTrip;
    });
    return text;
}

}  // namespace vrq::ui
