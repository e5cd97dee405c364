// How soon the boards can answer each kind of request. A report that arrives before a board
// can have answered (it needs its USB frames and the bus time) cannot be the answer: it is a
// stray report, and the real answer is still to come. The board's reports carry no request
// number; this is the one clue they give. The boards of one program are the same product on
// the same USB host, so their sessions share one record, kept across reconnections.
//
// The record keeps least times, never usual ones: a board that answers late now and then must
// not teach the program that late is normal, or every answer on time would look too early.
// It learns only from answers that came with nothing queued before or after them (a stray
// that slipped through could otherwise pull a least time down), and below everything it
// learns lies the least round trip the device itself declares.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "board/report.h"

namespace vrq::board {

// The bus clock a board runs at, as it last reported or took it (0: not known). Register
// transfers are timed per divider, and the bus time they need at least follows from it.
struct BusClockState {
    std::uint8_t baseMHz = 0;
    std::uint8_t divider = 0;
};

// What a report's arrival time says about it being the answer to a request.
enum class Arrival : std::uint8_t {
    Impossible,  // sooner than the device's least round trip: certainly not the answer
    Early,       // sooner than any answer of its kind, by more than the margin: suspect
    Close,       // within the margin below the least answer time: may be a faster answer
    OnTime,      // at or after the least time a real answer takes
};

class AnswerTiming {
  public:
    using Duration = std::chrono::steady_clock::duration;

    // The kind of request a command report is: command, sub-command or count, read or write,
    // and for register transfers the divider in force.
    static std::uint32_t KindOf(const Report& request, BusClockState clock);

    // The least round trip the device declares (HidDevice::LeastRoundTrip): no answer of any
    // kind comes sooner. The largest declared is kept.
    void NoteLeastRoundTrip(Duration least);
    Duration LeastRoundTrip() const { return least_; }

    // Keeps the round trip of an answer that came with nothing queued before or after it.
    void Record(const Report& request, BusClockState clock, Duration roundTrip);

    // The soonest a real answer to request is expected: the fastest of its kind once
    // kMinSamples are known; else the fastest answer to a command without a transfer (once
    // kMinUsbSamples of those are known) plus the bus time, where the boards' transfers take
    // it (a device with a least round trip is a physical board, whose transfers do); else the
    // device's least round trip (and then an answer sooner than twice that is Close).
    Duration Floor(const Report& request, BusClockState clock) const;
    // How an arrival roundTrip after the request stands against the floor. Early lies more
    // than the margin below it: kLeastMargin of the floor, at least kSchedulingNoise, and at
    // least twice the gap between the two fastest answers the floor stands on (how far below
    // the fastest yet a board whose answers wander may still answer; a steady board narrows
    // the window a stray slips through). Only a kind's own answers make anything Early: below
    // a floor borrowed from other kinds, an arrival is Close at most. Close is sooner than any
    // recent answer of its kind, and not Early.
    Arrival Judge(const Report& request, BusClockState clock, Duration roundTrip) const;
    static constexpr double kLeastMargin = 0.05;
    // How much later than another a busy machine may wake the program for the same answer:
    // no answer is suspected for less.
    static constexpr std::chrono::microseconds kSchedulingNoise{500};

    // How long after its request a real answer has come at the latest lately: the slowest of
    // the last kSamples of its kind that came within twice its fastest (a late answer is no
    // measure of when answers come); for a kind not yet known, the same of the commands
    // without a transfer, plus the bus time; with nothing timed, twice the least round trip.
    Duration LatestLately(const Report& request, BusClockState clock) const;
    // How long after its request a real answer is looked for behind one judged Close: its
    // kind's floor (the real answer of a steady board comes then, and a wandering board's
    // jitter costs little), or for a kind not yet known LatestLately.
    Duration CloseLook(const Report& request, BusClockState clock) const;
    // That, and half again: how long the session looks for a report following one it doubts.
    Duration AwaitRealAnswer(const Report& request, BusClockState clock) const;

    // A report judged Early was followed by nothing: the session could not vouch for it.
    // Twice in a row for a kind means the floor was learnt from answers slower than the
    // board's (a slow start): what it was learnt from is forgotten, the kind's own record,
    // or every record when the kind had none. Returns true when it forgot.
    bool NoteEarlyAlone(const Report& request, BusClockState clock);
    // An answer of this kind was taken: the run of early ones ends.
    void NoteAnswerTaken(const Report& request, BusClockState clock);

    // How long after its request an answer owed may still come: kOwedLifetime, or twice the
    // latest an owed answer has been seen to come, whichever is longer (at most
    // kLongestOwedLifetime, so that strays taken for late answers cannot stretch it without
    // end).
    Duration OwedLifetime() const;
    void NoteOwedAnswerAfter(Duration sinceRequest);
    static constexpr std::chrono::milliseconds kOwedLifetime{500};
    static constexpr std::chrono::seconds kLongestOwedLifetime{5};

    // The least time the bus needs for a register transfer at the clock in force (zero
    // when the clock is not known or the request is no transfer).
    static Duration BusTime(const Report& request, BusClockState clock);

    // The boards' base clock is the product's: once one board has told it, a session that
    // only knows the divider it set still knows the bus time.
    void NoteBaseClock(std::uint8_t baseMHz) { baseMHz_ = baseMHz; }
    std::uint8_t BaseClock() const { return baseMHz_; }

    // The floor a kind's own answers give, once kMinSamples are known: the second fastest of
    // the recent ones (the fastest while there are two).
    std::optional<Duration> Fastest(std::uint32_t kind) const;

    static constexpr std::size_t kSamples = 8;
    static constexpr std::size_t kMinSamples = 4;
    static constexpr std::size_t kMinUsbSamples = 2;

  private:
    struct Entry {
        std::uint32_t kind = 0;
        bool transfer = false;
        Duration busTime{};  // the least bus time of a transfer of this kind
        Duration fastest{};
        Duration second{};                        // the second fastest
        std::array<Duration, kSamples> recent{};  // those within twice the fastest
        std::size_t count = 0;                    // samples recorded
        std::size_t kept = 0;                     // of them kept in recent
        int earlyAlone = 0;                       // Early reports with nothing after them, in a row
    };
    Entry* Find(std::uint32_t kind);
    const Entry* Find(std::uint32_t kind) const;
    struct Span {
        Duration fastest{};  // the floor
        Duration second{};   // the next answer up
        Duration latest{};   // of the recent samples
        bool own = false;    // the kind's own answers, not borrowed from others
        Duration seen{};     // the fastest recent answer: none sooner has come lately
    };
    // The USB part of a round trip: the answers to commands without a transfer.
    std::optional<Span> UsbPart() const;
    // The kind's own answers, once kMinSamples are known.
    std::optional<Span> Own(std::uint32_t kind) const;
    static std::optional<Span> OwnOf(const Entry& entry);
    // Of recent answers (two at least): the floor they give, the next one up, the latest.
    static Span SpanOf(std::span<Duration> recent, bool own);
    // The bus time of request where the boards' transfers take it.
    Duration BusTimeTaken(const Report& request, BusClockState clock) const;
    // The floor and the spread of the answers it stands on.
    Span FloorSpan(const Report& request, BusClockState clock) const;
    // Whether the boards' transfers take their bus time at all: a simulated board that
    // answers at once does not, and its answers must not be held to it.
    bool TransfersTakeBusTime() const;
    std::vector<Entry> entries_;
    Duration least_{};
    Duration latestOwed_{};
    std::uint8_t baseMHz_ = 0;
};

}  // namespace vrq::board
