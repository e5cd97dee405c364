// How soon the boards answer each kind of request. A report that arrives well before a board
// can have answered (it needs its USB frames and the bus time) cannot be the answer: it is a
// stray report, and the real answer is still to come. The board's reports carry no request
// number; this is the one clue they give. The boards of one program are the same product on
// the same USB host, so their sessions share one record, kept across reconnections.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "board/report.h"

namespace vrq::board {

// The bus clock a board runs at, as it last reported or took it (0: not known). Register
// transfers are timed per divider, and the bus time they need at least follows from it.
struct BusClockState {
    std::uint8_t baseMHz = 0;
    std::uint8_t divider = 0;
};

class AnswerTiming {
  public:
    using Duration = std::chrono::steady_clock::duration;

    // The kind of request a command report is: command, sub-command or count, read or write,
    // and for register transfers the divider in force.
    static std::uint32_t KindOf(const Report& request, BusClockState clock);

    // Keeps the round trip of an answer that was in step.
    void Record(const Report& request, BusClockState clock, Duration roundTrip);
    // The usual round trip of a kind: the second shortest of the last kSamples (one stray
    // that slipped through cannot pull it down); none before kMinSamples answers.
    std::optional<Duration> Usual(std::uint32_t kind) const;

    // True when an answer that came after roundTrip cannot be this request's.
    //  - A kind known: sooner than its usual round trip less a margin (the spread its answers
    //    show without the extremes, at least kLeastMargin of the usual time and at least
    //    kSchedulingNoise). A steady board
    //    narrows the window a stray can slip through; one whose answers wander widens it, and
    //    is not suspected for its own jitter.
    //  - A kind not yet known: sooner than the board's fastest answer of a command without a
    //    bus transfer, plus the bus time the transfer needs at the clock in force (where the
    //    boards' transfers are seen to take it), less the same least margins.
    bool IsEarly(const Report& request, BusClockState clock, Duration roundTrip) const;
    static constexpr double kLeastMargin = 0.05;
    // Nor is any answer suspected for less than this: how late a program may wake.
    static constexpr std::chrono::microseconds kSchedulingNoise{100};

    // True when a report that came roundTrip after request cannot be its answer: sooner than
    // the fastest answer any command without a transfer has had (the least USB round trip
    // seen), plus the bus time, less the same least margins. For owed answers, whose kinds
    // (the set commands' acknowledgements) may never have been timed: held to the fastest
    // answer, not the usual one, so that a board whose answers wander is not waited on for a
    // report it has already sent.
    bool SoonerThanAnyAnswer(const Report& request, BusClockState clock, Duration roundTrip) const;

    // How long after its request the real answer of an early one is awaited: half again the
    // usual round trip of its kind (for a kind not yet known, the USB round trip and the
    // bus time).
    Duration AwaitRealAnswer(const Report& request, BusClockState clock) const;

    // The least time the bus needs for a register transfer at the clock in force (zero
    // when the clock is not known or the request is no transfer).
    static Duration BusTime(const Report& request, BusClockState clock);

    // The boards' base clock is the product's: once one board has told it, a session that
    // only knows the divider it set still knows the bus time.
    void NoteBaseClock(std::uint8_t baseMHz) { baseMHz_ = baseMHz; }
    std::uint8_t BaseClock() const { return baseMHz_; }

    static constexpr std::size_t kSamples = 8;
    static constexpr std::size_t kMinSamples = 2;

  private:
    struct Entry {
        std::uint32_t kind = 0;
        bool transfer = false;
        Duration busTime{};  // the least bus time of a transfer of this kind
        std::array<Duration, kSamples> samples{};
        std::size_t count = 0;  // samples recorded, at most kSamples kept
    };
    const Entry* Find(std::uint32_t kind) const;
    std::optional<Duration> UsualOf(const Entry& entry) const;
    // The USB part of a round trip: the fastest usual answer to a command without a transfer.
    std::optional<Duration> UsbPart() const;
    // roundTrip is sooner than least less the least margins.
    static bool SoonerThan(Duration roundTrip, Duration least);
    // Whether the boards' transfers take their bus time at all: a simulated board that
    // answers at once does not, and its answers must not be held to it.
    bool TransfersTakeBusTime() const;
    // BusTime where the boards' transfers take it, else zero.
    Duration BusTimeTaken(const Report& request, BusClockState clock) const;
    std::vector<Entry> entries_;
    std::uint8_t baseMHz_ = 0;
};

}  // namespace vrq::board
