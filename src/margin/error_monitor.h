// The monitor's accounting: per data link the errors counted, the time the readings covered
// and what that makes of the bit error ratio. It learns of every reading of the counters
// through the counter tap, so a reading made by someone else adds to the totals instead of
// being lost to the chip's clear-on-read.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>

#include "board/clock.h"
#include "margin/counter_tap.h"

namespace vrq::margin {

inline constexpr double kBitsPerPixelClock = 10.0;  // per link: one TMDS character
// With no error in n bits, the bit error ratio is below 3 / n with 95% confidence (the
// Poisson bound -ln 0.05 = 3.0).
inline constexpr double kZeroErrorBound95 = 3.0;

struct LinkTotals {
    std::uint64_t errors = 0;
    bool atLeast = false;         // a reading found the counter full: errors is a floor
    double seconds = 0;           // time the readings covered while the checker was on
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

// The ratio for a link's totals at a pixel clock (bits = seconds x MHz x 1e6 x 10); nullopt
// while no time is covered.
std::optional<ErrorRatio> BitErrorRatio(std::uint64_t errors, bool atLeast, double seconds,
                                        double pixelClockMHz);
std::optional<ErrorRatio> BitErrorRatio(const LinkTotals& totals, double pixelClockMHz);

class ErrorMonitor : public CounterListener {
  public:
    static constexpr std::size_t kKeptRates = 3600;

    // Counting starts afresh; the first reading of each link is where it starts (what the
    // counter held then was counted before the start).
    void Start(board::Clock::TimePoint now);
    void Stop() { running_ = false; }
    bool Running() const { return running_; }
    // The next reading of each link starts its count again (another chip is read now); the
    // totals stay.
    void Rebase();

    void OnReading(const CounterReading& reading) override;

    const std::array<LinkTotals, device::kLinkCount>& Links() const { return links_; }
    // The latest readings as rates, oldest first (at most kKeptRates).
    const std::deque<RatePoint>& Rates() const { return rates_; }
    // How many rates were ever added since the start: a plot appends the ones it lacks.
    std::uint64_t RatesAdded() const { return ratesAdded_; }
    // The checker was off at the last reading: nothing is being counted.
    bool CheckerOff() const { return checkerOff_; }

  private:
    bool running_ = false;
    board::Clock::TimePoint start_{};
    std::array<std::optional<board::Clock::TimePoint>, device::kLinkCount> cleared_{};
    std::array<LinkTotals, device::kLinkCount> links_{};
    std::deque<RatePoint> rates_;
    std::uint64_t ratesAdded_ = 0;
    bool checkerOff_ = false;
};

}  // namespace vrq::margin
