// The commands a simulated board received, decoded, so that tests say what the program asked of
// the board instead of reading report bytes.
#pragma once

#include <cstddef>
#include <ostream>
#include <vector>

#include "board/report.h"
#include "sim/sim_board.h"

namespace vrq::test {

struct Sent {
    enum class Kind { FirmwareQuery, LedQuery, LedSet, ClockQuery, DividerSet, Read, Write, Other };
    Kind kind = Kind::Other;
    int value = 0;    // LedSet: the state; DividerSet: the divider
    int address = 0;  // Read, Write: the chip address in its write form (the read bit taken off)
    int first = 0;    // Read, Write: the first register
    int count = 0;    // Read, Write: how many registers
    std::vector<int> data{};  // Write: the values
    bool operator==(const Sent&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Sent& sent);

// What a test expects to have been sent.
Sent FirmwareQuery();
Sent LedQuery();
Sent LedSet(int state);
Sent ClockQuery();
Sent DividerSet(int divider);
Sent Read(int address, int first, int count = 1);
Sent Write(int address, int first, std::vector<int> data);

// One command report, decoded.
Sent Decoded(const board::Report& report);

// Every command the board received, in order; or those of one kind.
std::vector<Sent> SentTo(const sim::SimBoard& board);
std::vector<Sent> SentTo(const sim::SimBoard& board, Sent::Kind kind);
std::size_t CountSent(const sim::SimBoard& board, Sent::Kind kind);

// The states of the LED set commands and the dividers set, in order.
std::vector<int> LedSets(const sim::SimBoard& board);
std::vector<int> DividersSet(const sim::SimBoard& board);

}  // namespace vrq::test
