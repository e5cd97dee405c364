#include "margin/point_meter.h"

#include <algorithm>
#include <array>

namespace vrq::margin {

namespace {

// A poll that read more than this in one span comes sooner next time; one that read less
// than a quarter of it later again, up to kPollInterval.
constexpr std::uint8_t kComfortableCount = 64;

}  // namespace

std::optional<CounterReading> Poll(RegisterAccess& registers, board::Clock& clock) {
    constexpr std::uint8_t kFirst = device::kRegChannelActivity;
    constexpr std::uint8_t kLast = device::kRegErrorCount0 + device::kLinkCount - 1;
    std::array<std::uint8_t, kLast - kFirst + 1> values{};
    CounterReading reading;
    reading.at = clock.Now();
    if (!registers.Read(kFirst, values)) {
        return std::nullopt;
    }
    reading.state = LinkStateFrom(values);
    reading.checker = reading.state->CheckerOn() ? CheckerState::On : CheckerState::Off;
    for (std::size_t link = 0; link < reading.counts.size(); ++link) {
        reading.covered[link] = true;
        reading.counts[link] = values[device::kRegErrorCount0 - kFirst + link];
    }
    return reading;
}

bool PointMeter::Begin(const Expectation& expected) {
    time_.Start(expected);
    // The first look comes soon, in case the setting fills the counters in a tenth; the
    // interval doubles up to kPollInterval while readings stay low.
    interval_ = kFastestPoll;
    started_ = clock_.Now();
    active_ = true;
    lastSpan_.reset();
    return PollNow();
}

bool PointMeter::Resume() {
    time_.Restart(time_.Expected());
    lastSpan_.reset();
    return PollNow();
}

bool PointMeter::PollNow() {
    own_ = true;
    lastPoll_ = clock_.Now();
    const auto reading = Poll(registers_, clock_);
    own_ = false;
    if (!reading) {
        return false;
    }
    lastSpan_ = time_.OnReading(*reading);
    if (lastSpan_) {
        const std::uint8_t most =
            *std::max_element(lastSpan_->counts.begin(), lastSpan_->counts.end());
        if (most > kComfortableCount) {
            interval_ = std::max<board::Clock::Duration>(kFastestPoll,
                                                         interval_ * kComfortableCount / most);
        } else if (most < kComfortableCount / 4) {
            interval_ = std::min<board::Clock::Duration>(kPollInterval, interval_ * 2);
        }
    }
    return true;
}

board::Clock::TimePoint PointMeter::NextPoll(double seconds) const {
    const double left = seconds - time_.Totals().seconds;
    const auto untilDone = std::chrono::ceil<board::Clock::Duration>(
        std::chrono::duration<double>(std::max(0.0, left)));
    return lastPoll_ + std::min(interval_, untilDone);
}

void PointMeter::OnReading(const CounterReading& reading) {
    if (active_ && !own_) {
        time_.OnReading(reading);
    }
}

void PointMeter::OnWrite(const LinkWrite& /*write*/) {
    if (active_ && !own_) {
        time_.OnForeignWrite();
    }
}

}  // namespace vrq::margin
