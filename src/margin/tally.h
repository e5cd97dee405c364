// Counting errors over valid time. A Tally holds what one measurement (a sweep point, a
// verification, a monitor segment) counted per link and what time it did not count, and why.
// ValidTime builds one from the readings the counter tap hands on: a span between two
// readings counts only when the readings at both ends found a state in which the checker
// counts what is being measured (link_state.h) and nobody else wrote the link registers in
// between; a reading without the state (someone's read of the counters alone) adds its
// errors to the span it falls in.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "board/clock.h"
#include "device/link_registers.h"
#include "margin/counter_tap.h"
#include "margin/link_state.h"
#include "margin/statistics.h"

namespace vrq::margin {

struct LinkCount {
    std::uint64_t errors = 0;
    bool atLeast = false;  // a reading found the counter full: errors is a floor
    friend bool operator==(const LinkCount&, const LinkCount&) = default;
};

// A bit error ratio and what kind of figure it is.
struct BerFigure {
    enum class Kind : std::uint8_t {
        Measured,    // errors over bits, with its two-sided interval
        AtLeast,     // a counter ran full: the ratio is at least value (lower is a floor too)
        UpperBound,  // no error: below upper with the confidence
    };
    Kind kind = Kind::Measured;
    double value = 0;  // the estimate (0 for an upper bound)
    double lower = 0;  // the interval at the confidence (two-sided for Measured)
    double upper = 0;  // one-sided upper bound at the confidence; unbounded (inf) at least
};

struct Tally {
    std::array<LinkCount, device::kLinkCount> links{};
    double seconds = 0;                               // counted
    std::array<double, kUncountedKinds> uncounted{};  // seconds not counted, by reason

    double UncountedSeconds() const;
    std::uint64_t MostErrors() const;  // the worst link's count
    bool AnyAtLeast() const;
    // Adds another tally's counts and times (a point measured once more).
    void Add(const Tally& other);
    friend bool operator==(const Tally&, const Tally&) = default;
};

// A link's figure over seconds at a character rate; nullopt with no counted time.
std::optional<BerFigure> LinkFigure(const LinkCount& link, double seconds, double characterRateMHz,
                                    double confidence);
// The link whose upper bound is highest decides (the one with most errors among floors).
std::optional<BerFigure> WorstFigure(const Tally& tally, double characterRateMHz,
                                     double confidence);

class ValidTime {
  public:
    // What the next span must find; the next reading with state starts counting (its own
    // counts belong to the time before).
    void Start(const Expectation& expected);
    const Expectation& Expected() const { return expected_; }
    // The settings set anew: the open span is dropped, the totals kept.
    void Restart(const Expectation& expected);

    struct Span {
        double seconds = 0;
        std::optional<Uncounted> why;  // set when it was not counted
        std::array<std::uint8_t, device::kLinkCount> counts{};
    };
    // Adds a reading; when it carried the state, the span it closed.
    std::optional<Span> OnReading(const CounterReading& reading);
    // Someone wrote the link registers: the span is not counted.
    void OnForeignWrite() { disturbed_ = true; }

    const Tally& Totals() const { return tally_; }
    // The errors counted and not yet known to be in valid time (the open span's).
    std::uint64_t PendingMost() const;
    bool Started() const { return spanStart_.has_value(); }
    // The state the last reading found.
    const std::optional<LinkState>& LastState() const { return lastState_; }
    std::optional<Uncounted> LastWhy() const { return startWhy_; }

  private:
    Expectation expected_;
    Tally tally_;
    std::optional<board::Clock::TimePoint> spanStart_;
    std::optional<Uncounted> startWhy_;
    std::array<LinkCount, device::kLinkCount> pending_{};
    bool lost_ = false;
    bool disturbed_ = false;
    std::optional<LinkState> lastState_;
};

}  // namespace vrq::margin
