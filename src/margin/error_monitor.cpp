#include "margin/error_monitor.h"

#include <chrono>

namespace vrq::margin {

namespace {

double Seconds(board::Clock::Duration span) {
    return std::chrono::duration<double>(span).count();
}

}  // namespace

std::optional<ErrorRatio> BitErrorRatio(std::uint64_t errors, bool atLeast, double seconds,
                                        double pixelClockMHz) {
    const double bits = seconds * pixelClockMHz * 1.0e6 * kBitsPerPixelClock;
    if (!(bits > 0.0)) {
        return std::nullopt;
    }
    if (errors == 0) {
        return ErrorRatio{ErrorRatio::Kind::UpperBound, kZeroErrorBound95 / bits};
    }
    return ErrorRatio{atLeast ? ErrorRatio::Kind::AtLeast : ErrorRatio::Kind::Measured,
                      static_cast<double>(errors) / bits};
}

std::optional<ErrorRatio> BitErrorRatio(const LinkTotals& totals, double pixelClockMHz) {
    return BitErrorRatio(totals.errors, totals.atLeast, totals.seconds, pixelClockMHz);
}

void ErrorMonitor::Start(board::Clock::TimePoint now) {
    running_ = true;
    start_ = now;
    cleared_ = {};
    links_ = {};
    rates_.clear();
    ratesAdded_ = 0;
    checkerOff_ = false;
}

void ErrorMonitor::Rebase() {
    cleared_ = {};
}

void ErrorMonitor::OnReading(const CounterReading& reading) {
    if (!running_) {
        return;
    }
    checkerOff_ = reading.checker == CheckerState::Off;
    RatePoint point;
    point.t = Seconds(reading.at - start_);
    bool anyRate = false;
    for (std::size_t link = 0; link < links_.size(); ++link) {
        if (!reading.covered[link]) {
            continue;
        }
        const auto since = cleared_[link];
        cleared_[link] = reading.at;
        // A lost reading took what the counter held; the first one only marks the start.
        if (reading.lost || !since || reading.at <= *since || checkerOff_) {
            continue;
        }
        const double span = Seconds(reading.at - *since);
        const std::uint8_t count = reading.counts[link];
        LinkTotals& totals = links_[link];
        totals.errors += count;
        totals.atLeast = totals.atLeast || count == device::kCounterFull;
        totals.seconds += span;
        totals.errorFreeSeconds = count > 0 ? 0.0 : totals.errorFreeSeconds + span;
        point.covered[link] = true;
        point.perSecond[link] = count / span;
        point.atLeast[link] = count == device::kCounterFull;
        anyRate = true;
    }
    if (anyRate) {
        rates_.push_back(point);
        ++ratesAdded_;
        if (rates_.size() > kKeptRates) {
            rates_.pop_front();
        }
    }
}

}  // namespace vrq::margin
