// The monitor's accounting: the chip's error counters over time, in segments. A segment is a
// stretch in one state of the chip (selected channel, its gain, the hysteresis, power, the
// channel's clock, the checker); a change closes it and starts the next, so that no total
// mixes settings. Within a segment, time and errors count only between readings that found
// the chip able to count (tally.h); the rest is kept as time not counted, with the reason.
// It learns of every reading of the counters through the counter tap, so a reading made by
// someone else adds to the totals instead of being lost to the chip's clear-on-read.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>

#include "board/clock.h"
#include "margin/counter_tap.h"
#include "margin/tally.h"

namespace vrq::margin {

inline constexpr double kBitsPerPixelClock = device::kBitsPerCharacter;
// With no error in n bits, the bit error ratio is below 3 / n with 95% confidence (the
// Poisson bound -ln 0.05 = 3.0).
inline constexpr double kZeroErrorBound95 = 3.0;

struct LinkTotals {
    std::uint64_t errors = 0;
    bool atLeast = false;         // a reading found the counter full: errors is a floor
    double seconds = 0;           // time counted (the segment's valid time)
    double errorFreeSeconds = 0;  // of that, since the last reading that found errors
};

// One reading as errors per second of the time it covered.
struct RatePoint {
    double t = 0;  // seconds from the start to the reading
    std::array<bool, device::kLinkCount> covered{};
    std::array<double, device::kLinkCount> perSecond{};
    std::array<bool, device::kLinkCount> atLeast{};  // the counter was full
};

struct ErrorRatio {
    enum class Kind : std::uint8_t {
        Measured,    // errors over bits
        AtLeast,     // a counter ran full: the ratio is at least this
        UpperBound,  // no error: below this with 95% confidence
    };
    Kind kind = Kind::Measured;
    double value = 0;
};

// The ratio for a link's totals at a TMDS character rate (bits = seconds x MHz x 1e6 x 10);
// nullopt while no time is covered.
std::optional<ErrorRatio> BitErrorRatio(std::uint64_t errors, bool atLeast, double seconds,
                                        double characterRateMHz);
std::optional<ErrorRatio> BitErrorRatio(const LinkTotals& totals, double characterRateMHz);

// What a segment was measured in.
struct SegmentState {
    int channel = 0;  // the selected one
    std::uint8_t gain = 0;
    device::Hysteresis hysteresis = device::Hysteresis::Off;
    bool poweredDown = false;
    bool clockActive = false;
    bool checkerOn = false;
    friend bool operator==(const SegmentState&, const SegmentState&) = default;
};
SegmentState SegmentStateOf(const LinkState& state);

struct Segment {
    int number = 0;  // 1 for the first since the start
    SegmentState state;
    double from = 0;  // seconds from the start: its first reading
    double to = 0;    // its latest reading
    Tally tally;
    std::array<double, device::kLinkCount> errorFreeSeconds{};
    // Why its time does not count at all (powered down, ...); unset when it counts.
    std::optional<Uncounted> why;
};

class ErrorMonitor : public CounterListener {
  public:
    static constexpr std::size_t kKeptRates = 3600;
    static constexpr std::size_t kKeptSegments = 100;

    // Counting starts afresh; the first reading with the chip's state starts the first
    // segment (what the counters held then was counted before the start).
    void Start(board::Clock::TimePoint now);
    void Stop() { running_ = false; }
    bool Running() const { return running_; }
    // Another chip is read now: the next reading starts a new segment.
    void Rebase();

    void OnReading(const CounterReading& reading) override;
    void OnWrite(const LinkWrite& write) override;

    // The current segment's totals per link.
    const std::array<LinkTotals, device::kLinkCount>& Links() const { return links_; }
    // The segment being counted; nullopt before the first reading with the state.
    const std::optional<Segment>& Current() const { return current_; }
    // Segments closed, oldest first (at most kKeptSegments), and how many ever were.
    const std::deque<Segment>& Closed() const { return closed_; }
    int SegmentsStarted() const { return current_ ? current_->number : 0; }
    // The latest readings as rates, oldest first (at most kKeptRates).
    const std::deque<RatePoint>& Rates() const { return rates_; }
    // How many rates were ever added since the start: a plot appends the ones it lacks.
    std::uint64_t RatesAdded() const { return ratesAdded_; }
    // The checker was off at the last reading: nothing is being counted.
    bool CheckerOff() const { return checkerOff_; }
    // Seconds from the start to the latest reading.
    double LatestT() const { return latestT_; }

  private:
    void OpenSegment(const CounterReading& reading, double t);
    void UpdateLinks();

    bool running_ = false;
    board::Clock::TimePoint start_{};
    std::array<std::optional<board::Clock::TimePoint>, device::kLinkCount> cleared_{};
    std::optional<Segment> current_;
    std::deque<Segment> closed_;
    ValidTime time_;
    std::array<LinkTotals, device::kLinkCount> links_{};
    std::deque<RatePoint> rates_;
    std::uint64_t ratesAdded_ = 0;
    bool checkerOff_ = false;
    double latestT_ = 0;
    bool forceNew_ = false;  // the next reading with state opens a segment
};

}  // namespace vrq::margin
