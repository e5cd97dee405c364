#include "margin/sweep.h"

#include <algorithm>
#include <numeric>

#include "board/hex.h"

namespace vrq::margin {

std::uint32_t PointResult::Total() const {
    return std::accumulate(errors.begin(), errors.end(), std::uint32_t{0});
}

bool PointResult::AnyAtLeast() const {
    return std::any_of(atLeast.begin(), atLeast.end(), [](bool b) { return b; });
}

std::vector<SweepPoint> SweepPoints(bool crossHysteresis, device::Hysteresis current) {
    std::vector<device::Hysteresis> rows{current};
    if (crossHysteresis) {
        rows = {device::Hysteresis::Off, device::Hysteresis::Mv10, device::Hysteresis::Mv20};
    }
    std::vector<SweepPoint> points;
    for (const device::Hysteresis hysteresis : rows) {
        for (int gain = 0; gain <= device::kMaxGain; ++gain) {
            points.push_back({static_cast<std::uint8_t>(gain), hysteresis});
        }
    }
    return points;
}

std::optional<Recommendation> Recommend(std::span<const PointResult> results) {
    std::optional<Recommendation> best;
    int bestWidth = 0;
    for (int h = 0; h < device::kHysteresisCount; ++h) {
        const auto hysteresis = static_cast<device::Hysteresis>(h);
        std::array<bool, device::kMaxGain + 1> clean{};
        for (const PointResult& result : results) {
            if (result.point.hysteresis == hysteresis && result.ErrorFree()) {
                clean[result.point.gain] = true;
            }
        }
        for (int first = 0; first <= device::kMaxGain;) {
            if (!clean[static_cast<std::size_t>(first)]) {
                ++first;
                continue;
            }
            int last = first;
            while (last < device::kMaxGain && clean[static_cast<std::size_t>(last + 1)]) {
                ++last;
            }
            if (last - first + 1 > bestWidth) {
                bestWidth = last - first + 1;
                best = Recommendation{
                    {static_cast<std::uint8_t>(first + (last - first) / 2), hysteresis},
                    static_cast<std::uint8_t>(first),
                    static_cast<std::uint8_t>(last)};
            }
            first = last + 1;
        }
    }
    return best;
}

SweepObstacle CheckSweep(const LinkState& state, int channel) {
    if (state.PoweredDown()) {
        return SweepObstacle::PoweredDown;
    }
    if (state.Selected() != channel) {
        return SweepObstacle::NotSelected;
    }
    return SweepObstacle::None;
}

SweepRun::SweepRun(RegisterAccess& registers, board::Clock& clock, SweepSettings settings)
    : registers_(registers), clock_(clock) {
    result_.settings = settings;
}

void SweepRun::Start(const LinkState& before) {
    before_ = before;
    const int channel = result_.settings.channel;
    equalizer_ = before.Equalizer(channel);
    inputControl_ = before.inputControl;
    result_.plan = SweepPoints(result_.settings.crossHysteresis, before.CurrentHysteresis());
    result_.points.clear();
    result_.complete = false;
    result_.recommendation.reset();
    failure_.clear();
    spent_ = {};
    phase_ = Phase::NextPoint;
    state_ = State::Running;
}

bool SweepRun::Over() const {
    return state_ == State::Finished || state_ == State::Cancelled || state_ == State::Failed;
}

bool SweepRun::SetPoint(const SweepPoint& point) {
    const int channel = result_.settings.channel;
    if (result_.settings.crossHysteresis &&
        device::HysteresisOf(inputControl_) != point.hysteresis) {
        const std::uint8_t value = device::WithHysteresis(inputControl_, point.hysteresis);
        if (!registers_.WriteOne(device::kRegInputControl, value)) {
            Fail("register " + board::Hex0x(device::kRegInputControl) + " could not be written");
            return false;
        }
        inputControl_ = value;
    }
    const std::uint8_t reg = device::EqualizerRegister(channel);
    const std::uint8_t value = device::WithGain(equalizer_, channel, point.gain);
    if (!registers_.WriteOne(reg, value)) {
        Fail("register " + board::Hex0x(reg) + " could not be written");
        return false;
    }
    equalizer_ = value;
    return true;
}

std::optional<std::array<std::uint8_t, device::kLinkCount>> SweepRun::ReadCounters() {
    std::array<std::uint8_t, device::kLinkCount> counts{};
    ownRead_ = true;
    const bool ok = registers_.Read(device::kRegErrorCount0, counts);
    ownRead_ = false;
    if (!ok) {
        Fail("the error counters could not be read");
        return std::nullopt;
    }
    return counts;
}

std::optional<board::Clock::TimePoint> SweepRun::Advance() {
    while (state_ == State::Running) {
        if (phase_ == Phase::Dwelling) {
            if (clock_.Now() < due_) {
                return due_;
            }
            const board::Clock::TimePoint readAt = clock_.Now();
            const auto counts = ReadCounters();
            if (!counts) {
                break;
            }
            for (std::size_t link = 0; link < counts->size(); ++link) {
                current_.errors[link] += (*counts)[link];
                current_.atLeast[link] =
                    current_.atLeast[link] || (*counts)[link] == device::kCounterFull;
            }
            current_.seconds = std::chrono::duration<double>(readAt - cleared_).count();
            result_.points.push_back(current_);
            spent_ += clock_.Now() - pointStarted_;
            phase_ = Phase::NextPoint;
            continue;
        }
        if (result_.points.size() == result_.plan.size()) {
            result_.complete = true;
            result_.recommendation = Recommend(result_.points);
            Finish(State::Finished);
            break;
        }
        pointStarted_ = clock_.Now();
        current_ = PointResult{};
        current_.point = result_.plan[result_.points.size()];
        if (!SetPoint(current_.point)) {
            break;
        }
        cleared_ = clock_.Now();
        if (!ReadCounters()) {
            break;  // what it held was counted at the settings before
        }
        due_ = cleared_ + result_.settings.dwell;
        phase_ = Phase::Dwelling;
    }
    return std::nullopt;
}

void SweepRun::OnReading(const CounterReading& reading) {
    if (state_ != State::Running || phase_ != Phase::Dwelling || ownRead_) {
        return;
    }
    for (std::size_t link = 0; link < current_.errors.size(); ++link) {
        if (!reading.covered[link]) {
            continue;
        }
        current_.errors[link] += reading.counts[link];
        current_.atLeast[link] =
            current_.atLeast[link] || reading.lost || reading.counts[link] == device::kCounterFull;
    }
}

void SweepRun::Cancel() {
    if (state_ == State::Running) {
        Finish(State::Cancelled);
    }
}

bool SweepRun::WriteBack() {
    const int channel = result_.settings.channel;
    bool ok = true;
    const std::uint8_t equalizer = before_.Equalizer(channel);
    if (equalizer_ != equalizer) {
        ok = registers_.WriteOne(device::EqualizerRegister(channel), equalizer) && ok;
        equalizer_ = equalizer;
    }
    if (inputControl_ != before_.inputControl) {
        ok = registers_.WriteOne(device::kRegInputControl, before_.inputControl) && ok;
        inputControl_ = before_.inputControl;
    }
    return ok;
}

void SweepRun::Finish(State state) {
    state_ = state;
    if (!WriteBack() && failure_.empty()) {
        state_ = State::Failed;
        failure_ = "the channel's registers could not be written back";
    }
}

void SweepRun::Fail(std::string why) {
    failure_ = std::move(why);
    Finish(State::Failed);
}

bool SweepRun::Apply(const SweepPoint& point) {
    if (!Over()) {
        return false;
    }
    const int channel = result_.settings.channel;
    if (device::HysteresisOf(inputControl_) != point.hysteresis) {
        const std::uint8_t value = device::WithHysteresis(inputControl_, point.hysteresis);
        if (!registers_.WriteOne(device::kRegInputControl, value)) {
            return false;
        }
        inputControl_ = value;
    }
    const std::uint8_t value = device::WithGain(equalizer_, channel, point.gain);
    if (!registers_.WriteOne(device::EqualizerRegister(channel), value)) {
        return false;
    }
    equalizer_ = value;
    return true;
}

board::Clock::Duration SweepRun::TimeLeft() const {
    if (state_ != State::Running) {
        return {};
    }
    const std::size_t done = result_.points.size();
    const board::Clock::Duration dwell = result_.settings.dwell;
    // The pace so far: a dwell and the exchanges around it.
    const board::Clock::Duration perPoint =
        done > 0 ? std::max(dwell, spent_ / static_cast<long>(done)) : dwell;
    std::size_t after = result_.plan.size() - done;
    board::Clock::Duration left{};
    if (phase_ == Phase::Dwelling) {
        left = std::max(board::Clock::Duration{}, due_ - clock_.Now()) + (perPoint - dwell);
        --after;
    }
    return left + perPoint * static_cast<long>(after);
}

std::optional<SweepPoint> SweepRun::CurrentPoint() const {
    if (state_ != State::Running || result_.points.size() >= result_.plan.size()) {
        return std::nullopt;
    }
    return result_.plan[result_.points.size()];
}

void RunToEnd(SweepRun& run, board::Clock& clock,
              const std::function<void(const SweepRun&)>& progress) {
    while (const auto next = run.Advance()) {
        if (progress) {
            progress(run);
        }
        clock.SleepUntil(*next);
    }
    if (progress) {
        progress(run);
    }
}

}  // namespace vrq::margin
