// A register transfer as one exchange with the board carried it, read back from the exchange's
// reports: for whoever watches the bus (a trace, the error-counter accounting) without
// knowing where the fields sit in a report.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "board/board_session.h"

namespace vrq::board {

// 7-bit addresses 0x00..0x07 and 0x78..0x7F are reserved by the I2C bus for its own uses.
inline constexpr unsigned kFirstUsualAddress = 0x08;
inline constexpr unsigned kLastUsualAddress = 0x77;
constexpr bool IsReservedAddress(unsigned address7) {
    return address7 < kFirstUsualAddress || address7 > kLastUsualAddress;
}

struct RegisterTransfer {
    bool read = false;
    std::uint8_t addressByte = 0;  // 8-bit write form (bit 0 clear)
    std::uint8_t first = 0;
    // The values read (from the answer; empty unless the read came back Ok and in step) or
    // written (from the request). They point into the exchange.
    std::span<const std::uint8_t> values;
    // The chip may have run the transfer but what came back cannot be trusted: no answer,
    // the board gone, or an answer out of step. A read's side effects (counters cleared)
    // may have happened.
    bool uncertain = false;
    // The chip ran it: an Ok outcome in step (writes: sent and acknowledged).
    bool done = false;
    // Registers first..first+count-1.
    int count = 0;
    bool Covers(std::uint8_t reg) const { return reg >= first && reg < first + count; }
};

// The register transfer of a request exchange; nullopt for board commands, drains and
// requests that never reached the board.
std::optional<RegisterTransfer> RegisterTransferOf(const Exchange& exchange);

}  // namespace vrq::board
