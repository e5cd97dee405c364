// What the program knows of each chip it has talked to: per board and 7-bit address, the last
// known value of every register, where it came from and when. Every exchange on the exchange
// hub feeds it, whoever made it (the main window, the link margin window, a sweep, a register
// file load), so that every view shows one picture of the chip; views subscribe to changes.
//
// It never holds a value no exchange gave: a register starts unknown, a read gives its value,
// an acknowledged write the value written, and a write the chip refused or that went
// unanswered makes it unknown again (the chip may or may not have taken it). A read whose
// answer was lost may still have cleared what the chip clears on a read (the error
// counters): those become unknown too. A write to a register the chip never changes on a write
// tells nothing of its value. A board that closes is forgotten: a board opened later under the
// same tag may be another.
#pragma once

#include <array>
#include <cstdint>
#include <map>

#include "board/board_session.h"
#include "board/clock.h"
#include "board/notifier.h"

namespace vrq::device {

struct ChipKey {
    int board = -1;  // the tag the board's exchanges carry (its instance)
    std::uint8_t address7 = 0;
    friend auto operator<=>(const ChipKey&, const ChipKey&) = default;
};

enum class Provenance : std::uint8_t {
    Never,    // no exchange has told anything of it
    Read,     // read from the chip
    Written,  // written, and the chip acknowledged the transfer
    Unknown,  // a write was refused or unanswered, or a clearing read was lost
};

struct KnownValue {
    Provenance source = Provenance::Never;
    std::uint8_t value = 0;        // meaningful for Read and Written only
    board::Clock::TimePoint at{};  // when the exchange that told it started
    bool Known() const { return source == Provenance::Read || source == Provenance::Written; }
};

class KnownChips : public board::ExchangeObserver {
  public:
    static constexpr int kRegisters = 256;

    KnownValue Get(const ChipKey& chip, std::uint8_t reg) const;

    // Told of each register an exchange said something of (the same value read again
    // included: it is news of when), and of every register of a board forgotten.
    using Changes = board::Notifier<ChipKey, std::uint8_t, KnownValue>;
    [[nodiscard]] Changes::Subscription Subscribe(
        std::function<void(ChipKey, std::uint8_t, KnownValue)> listener) {
        return changes_.Subscribe(std::move(listener));
    }

    void OnExchange(const board::Exchange& exchange) override;
    void OnBoardClosed(int board) override;

  private:
    void Set(const ChipKey& chip, std::uint8_t reg, KnownValue known);

    std::map<ChipKey, std::array<KnownValue, kRegisters>> chips_;
    Changes changes_;
};

}  // namespace vrq::device
