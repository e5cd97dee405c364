// Every reading of the error counters, whoever makes it. The chip clears a counter when it is
// read, so a reading by anyone (a Read All in the main window, a register file save) takes
// errors that the monitor or a sweep would otherwise never see: the tap watches every
// exchange with the board and hands each reading of 0x0A..0x0C to its listeners, with the
// chip's state when the same read covered 0x01..0x09, and tells them of every write to the
// link registers, so that time is counted only where the chip could count.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "board/board_session.h"
#include "board/clock.h"
#include "device/link_registers.h"
#include "margin/link_state.h"

namespace vrq::margin {

enum class CheckerState : std::uint8_t { Unknown, On, Off };

struct CounterReading {
    board::Clock::TimePoint at{};                           // when the read went out
    std::array<bool, device::kLinkCount> covered{};         // the links whose counter it read
    std::array<std::uint8_t, device::kLinkCount> counts{};  // valid unless lost
    // The chip may have read (and cleared) the counters, but their values never arrived
    // intact: whatever they held is gone.
    bool lost = false;
    // The checker as last seen read or written, this reading included.
    CheckerState checker = CheckerState::Unknown;
    // Registers 0x01..0x09 as the same read found them, when it covered them (a poll, a
    // Read All), a moment before the counters were read.
    std::optional<LinkState> state;
};

// A write that may have reached registers 0x02..0x09 (channel, hysteresis, gains, checker).
struct LinkWrite {
    board::Clock::TimePoint at{};
    std::uint8_t first = 0;
    int count = 0;
};

class CounterListener {
  public:
    virtual ~CounterListener() = default;
    virtual void OnReading(const CounterReading& reading) = 0;
    virtual void OnWrite(const LinkWrite& /*write*/) {}
};

class CounterTap : public board::ExchangeObserver {
  public:
    // The chip whose counters count: the board tag its exchanges carry (the board instance,
    // or the session's tag) and its address byte (8-bit write form). A change forgets what
    // was seen of the checker.
    void Watch(int board, std::uint8_t addressByte);
    void AddListener(CounterListener* listener);
    void RemoveListener(CounterListener* listener);
    CheckerState Checker() const { return checker_; }

    void OnExchange(const board::Exchange& exchange) override;

  private:
    int board_ = -1;
    std::uint8_t addressByte_ = 0;
    CheckerState checker_ = CheckerState::Unknown;
    std::vector<CounterListener*> listeners_;
};

}  // namespace vrq::margin
