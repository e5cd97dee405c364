#include "support/command_log.h"

#include <algorithm>

#include "board/report.h"

namespace vrq::test {

namespace {

std::vector<int> Values(const sim::SimBoard& board, Sent::Kind kind) {
    std::vector<int> values;
    for (const Sent& sent : SentTo(board, kind)) {
        values.push_back(sent.value);
    }
    return values;
}

}  // namespace

Sent Decoded(const board::Report& report) {
    namespace off = board::off;
    Sent sent;
    const std::uint8_t sub = report[off::kSubCommand];
    switch (report[off::kCommand]) {
        case board::CommandBoardInfo:
            sent.kind = Sent::Kind::FirmwareQuery;
            break;
        case board::CommandGpio:
            sent.kind = sub == board::kSubQuery ? Sent::Kind::LedQuery : Sent::Kind::LedSet;
            break;
        case board::CommandBusClock:
            sent.kind = sub == board::kSubQuery ? Sent::Kind::ClockQuery : Sent::Kind::DividerSet;
            break;
        case board::CommandI2C: {
            const bool read = (report[off::kAddress] & 1) != 0;
            sent.kind = read ? Sent::Kind::Read : Sent::Kind::Write;
            sent.address = report[off::kAddress] & 0xFE;
            sent.first = report[off::kFirstRegister];
            sent.count = report[off::kCount];
            if (!read) {
                const std::size_t count = std::min<std::size_t>(sent.count, board::kMaxWriteCount);
                sent.data.assign(
                    report.begin() + off::kWriteData,
                    report.begin() + static_cast<std::ptrdiff_t>(off::kWriteData + count));
            }
            return sent;
        }
        default:
            return sent;
    }
    if (sent.kind == Sent::Kind::LedSet || sent.kind == Sent::Kind::DividerSet) {
        sent.value = report[off::kSetValue];
    }
    return sent;
}

std::ostream& operator<<(std::ostream& out, const Sent& sent) {
    switch (sent.kind) {
        case Sent::Kind::FirmwareQuery:
            return out << "firmware?";
        case Sent::Kind::LedQuery:
            return out << "led?";
        case Sent::Kind::LedSet:
            return out << "led " << sent.value;
        case Sent::Kind::ClockQuery:
            return out << "clock?";
        case Sent::Kind::DividerSet:
            return out << "divider " << sent.value;
        case Sent::Kind::Read:
        case Sent::Kind::Write:
            out << (sent.kind == Sent::Kind::Read ? "read " : "write ") << std::hex << sent.address
                << " @" << sent.first << " x" << std::dec << sent.count;
            for (const int value : sent.data) {
                out << ' ' << std::hex << value << std::dec;
            }
            return out;
        case Sent::Kind::Other:
            break;
    }
    return out << "other";
}

Sent FirmwareQuery() {
    return {.kind = Sent::Kind::FirmwareQuery};
}

Sent LedQuery() {
    return {.kind = Sent::Kind::LedQuery};
}
Sent LedSet(int state) {
    return {.kind = Sent::Kind::LedSet, .value = state};
}
Sent ClockQuery() {
    return {.kind = Sent::Kind::ClockQuery};
}
Sent DividerSet(int divider) {
    return {.kind = Sent::Kind::DividerSet, .value = divider};
}
Sent Read(int address, int first, int count) {
    return {.kind = Sent::Kind::Read, .address = address, .first = first, .count = count};
}
Sent Write(int address, int first, std::vector<int> data) {
    const int count = static_cast<int>(data.size());
    return {.kind = Sent::Kind::Write,
            .address = address,
            .first = first,
            .count = count,
            .data = std::move(data)};
}

std::vector<Sent> SentTo(const sim::SimBoard& board) {
    std::vector<Sent> sent;
    for (const board::Report& report : board.Commands()) {
        sent.push_back(Decoded(report));
    }
    return sent;
}

std::vector<Sent> SentTo(const sim::SimBoard& board, Sent::Kind kind) {
    std::vector<Sent> sent = SentTo(board);
    std::erase_if(sent, [kind](const Sent& s) { return s.kind != kind; });
    return sent;
}

std::size_t CountSent(const sim::SimBoard& board, Sent::Kind kind) {
    return SentTo(board, kind).size();
}

std::vector<int> LedSets(const sim::SimBoard& board) {
    return Values(board, Sent::Kind::LedSet);
}

std::vector<int> DividersSet(const sim::SimBoard& board) {
    return Values(board, Sent::Kind::DividerSet);
}

}  // namespace vrq::test
