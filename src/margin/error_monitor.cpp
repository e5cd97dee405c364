#include "margin/error_monitor.h"

#include <chrono>

namespace vrq::margin {

namespace {

double Seconds(board::Clock::Duration span) {
    return std::chrono::duration<double>(span).count();
}

}  // namespace

std::optional<ErrorRatio> BitErrorRatio(std::uint64_t errors, bool atLeast, double seconds,
                                        double characterRateMHz) {
    const double bits = seconds * LinkBitsPerSecond(characterRateMHz);
    if (!(bits > 0.0)) {
        return std::nullopt;
    }
    if (errors == 0) {
        return ErrorRatio{ErrorRatio::Kind::UpperBound, kZeroErrorBound95 / bits};
    }
    return ErrorRatio{atLeast ? ErrorRatio::Kind::AtLeast : ErrorRatio::Kind::Measured,
                      static_cast<double>(errors) / bits};
}

std::optional<ErrorRatio> BitErrorRatio(const LinkTotals& totals, double characterRateMHz) {
    return BitErrorRatio(totals.errors, totals.atLeast, totals.seconds, characterRateMHz);
}

SegmentState SegmentStateOf(const LinkState& state) {
    SegmentState s;
    s.channel = state.Selected();
    s.gain = state.Gain(s.channel);
    s.hysteresis = state.CurrentHysteresis();
    s.poweredDown = state.PoweredDown();
    s.clockActive = state.ClockActive(s.channel);
    s.checkerOn = state.CheckerOn();
    return s;
}

void ErrorMonitor::Start(board::Clock::TimePoint now) {
    running_ = true;
    start_ = now;
    cleared_ = {};
    current_.reset();
    closed_.clear();
    links_ = {};
    rates_.clear();
    ratesAdded_ = 0;
    checkerOff_ = false;
    latestT_ = 0;
    forceNew_ = false;
}

void ErrorMonitor::Rebase() {
    cleared_ = {};
    forceNew_ = true;
}

void ErrorMonitor::OpenSegment(const CounterReading& reading, double t) {
    const int number = current_ ? current_->number + 1 : 1;
    if (current_) {
        closed_.push_back(*current_);
        if (closed_.size() > kKeptSegments) {
            closed_.pop_front();
        }
    }
    Segment segment;
    segment.number = number;
    segment.state = SegmentStateOf(*reading.state);
    segment.from = t;
    segment.to = t;
    Expectation expected;
    expected.channel = segment.state.channel;
    expected.gain = segment.state.gain;
    expected.hysteresis = segment.state.hysteresis;
    segment.why = WhyNotCounted(*reading.state, expected);
    current_ = segment;
    time_.Start(expected);
    time_.OnReading(reading);  // where this segment's counting starts
    forceNew_ = false;
}

void ErrorMonitor::OnWrite(const LinkWrite& /*write*/) {
    // A write shows in the state the next reading finds: a change opens a segment there. A
    // write and its undoing between two readings leave the span uncertain.
    if (running_ && current_) {
        time_.OnForeignWrite();
    }
}

void ErrorMonitor::OnReading(const CounterReading& reading) {
    if (!running_) {
        return;
    }
    checkerOff_ = reading.checker == CheckerState::Off;
    const double t = Seconds(reading.at - start_);
    latestT_ = t;
    RatePoint point;
    point.t = t;
    bool anyRate = false;
    for (std::size_t link = 0; link < point.covered.size(); ++link) {
        if (!reading.covered[link]) {
            continue;
        }
        const auto since = cleared_[link];
        cleared_[link] = reading.at;
        if (reading.lost || !since || reading.at <= *since || checkerOff_) {
            continue;
        }
        const std::uint8_t count = reading.counts[link];
        point.covered[link] = true;
        point.perSecond[link] = count / Seconds(reading.at - *since);
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
    if (reading.state &&
        (!current_ || forceNew_ || SegmentStateOf(*reading.state) != current_->state)) {
        if (current_) {
            // The time from the old state's last reading to the new one's is neither's.
            const auto span = time_.OnReading(reading);
            current_->tally = time_.Totals();
            if (span && !span->why) {
                current_->tally.seconds -= span->seconds;
                current_->tally.uncounted[static_cast<std::size_t>(Uncounted::SettingsChanged)] +=
                    span->seconds;
            }
        }
        OpenSegment(reading, t);
        UpdateLinks();
        return;
    }
    if (!current_) {
        return;
    }
    const Tally before = time_.Totals();
    const auto span = time_.OnReading(reading);
    current_->tally = time_.Totals();
    current_->to = t;
    if (span && !span->why) {
        for (std::size_t link = 0; link < current_->errorFreeSeconds.size(); ++link) {
            const bool errors = current_->tally.links[link].errors > before.links[link].errors;
            current_->errorFreeSeconds[link] =
                errors ? 0.0 : current_->errorFreeSeconds[link] + span->seconds;
        }
    }
    UpdateLinks();
}

void ErrorMonitor::UpdateLinks() {
    links_ = {};
    if (!current_) {
        return;
    }
    for (std::size_t link = 0; link < links_.size(); ++link) {
        links_[link].errors = current_->tally.links[link].errors;
        links_[link].atLeast = current_->tally.links[link].atLeast;
        links_[link].seconds = current_->tally.seconds;
        links_[link].errorFreeSeconds = current_->errorFreeSeconds[link];
    }
}

}  // namespace vrq::margin
