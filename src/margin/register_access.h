// How the link-margin tools reach the chip: plain register reads and writes, nothing else, so
// that they work on a real board exactly as on the simulated one. The window goes through its
// board link with the Retry/Cancel policy (ui/link/link_registers.h); the command-line tool
// straight through a board session (SessionRegisters).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "board/board_session.h"
#include "device/link_registers.h"
#include "margin/link_state.h"

namespace vrq::margin {

class RegisterAccess {
  public:
    virtual ~RegisterAccess() = default;
    // True when the chip took the transfer; a read fills values only then.
    virtual bool Read(std::uint8_t first, std::span<std::uint8_t> values) = 0;
    virtual bool Write(std::uint8_t first, std::span<const std::uint8_t> values) = 0;
    bool WriteOne(std::uint8_t reg, std::uint8_t value) { return Write(reg, {&value, 1}); }
};

// The chip at addressByte (8-bit write form) through a session; shows nothing. LastOutcome
// says what went wrong.
class SessionRegisters : public RegisterAccess {
  public:
    SessionRegisters(board::BoardSession& session, std::uint8_t addressByte)
        : session_(session), addressByte_(addressByte) {}
    bool Read(std::uint8_t first, std::span<std::uint8_t> values) override;
    bool Write(std::uint8_t first, std::span<const std::uint8_t> values) override;
    board::Outcome LastOutcome() const { return last_; }

  private:
    board::BoardSession& session_;
    std::uint8_t addressByte_;
    board::Outcome last_ = board::Outcome::Ok;
};

// Reads 0x01..0x09 in one transfer; withCounters reads on through 0x0C (a poll: the
// counters' values and the state reach the tools through the tap).
std::optional<LinkState> ReadLinkState(RegisterAccess& registers, bool withCounters = false);

// Sets bit 2 of 0x09 (the checker), keeping the pattern generator as state has it.
bool TurnCheckerOn(RegisterAccess& registers, const LinkState& state);

}  // namespace vrq::margin
