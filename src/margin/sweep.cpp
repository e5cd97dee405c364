#include "margin/sweep.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "board/hex.h"

namespace vrq::margin {

namespace {

// Times the setting may be found changed by someone else before the sweep gives up.
constexpr int kMostResets = 3;
// Counted time within this of the dwell is the dwell (the clock's own rounding).
constexpr double kSecondsSlack = 1e-9;

bool Outside(Uncounted why) {
    return why == Uncounted::PoweredDown || why == Uncounted::CheckerOff ||
           why == Uncounted::NotSelected || why == Uncounted::NoClock;
}

const PointResult* Find(std::span<const PointResult> results, const SweepPoint& at) {
    for (const PointResult& result : results) {
        if (result.point == at) {
            return &result;
        }
    }
    return nullptr;
}

}  // namespace

double SweepSettings::Target() const {
    if (targetBer) {
        return *targetBer;
    }
    if (dwell) {
        return TargetShownBy(std::chrono::duration<double>(*dwell).count(), confidence,
                             characterRateMHz);
    }
    return kDefaultTargetBer;
}

double SweepSettings::DwellSeconds() const {
    if (dwell) {
        return std::chrono::duration<double>(*dwell).count();
    }
    return SecondsToShow(Target(), confidence, characterRateMHz);
}

std::uint64_t PointResult::Total() const {
    std::uint64_t total = 0;
    for (const LinkCount& link : tally.links) {
        total += link.errors;
    }
    return total;
}

void Judge(PointResult& point, const SweepSettings& settings) {
    point.figure = WorstFigure(point.tally, settings.characterRateMHz, settings.confidence);
    if (!point.figure) {
        point.verdict = Verdict::NotMeasured;
    } else if (point.figure->upper <= settings.Target() * (1.0 + 1e-9)) {
        point.verdict = Verdict::Pass;
    } else {
        point.verdict = point.tally.MostErrors() == 0 ? Verdict::Short : Verdict::Fail;
    }
}

int Recommendation::Margin() const {
    return std::min(marginBelow.value_or(kUnboundedMargin), marginAbove.value_or(kUnboundedMargin));
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

std::optional<Recommendation> Recommend(std::span<const PointResult> results,
                                        std::optional<SweepPoint> current,
                                        std::span<const device::Hysteresis> rows) {
    struct Candidate {
        Recommendation recommendation;
        bool isCurrent = false;
        double neighbours = 0;  // the failing neighbours' ratios
        double offCentre = 0;
    };
    std::vector<Candidate> candidates;
    constexpr int kGains = device::kMaxGain + 1;
    for (const device::Hysteresis row : rows) {
        std::array<const PointResult*, kGains> at{};
        for (int gain = 0; gain < kGains; ++gain) {
            at[static_cast<std::size_t>(gain)] =
                Find(results, {static_cast<std::uint8_t>(gain), row});
        }
        auto passed = [&](int gain) {
            return at[static_cast<std::size_t>(gain)] != nullptr &&
                   at[static_cast<std::size_t>(gain)]->Passed();
        };
        auto ratio = [&](int gain) {
            const PointResult* p = at[static_cast<std::size_t>(gain)];
            return p != nullptr && p->figure ? p->figure->value : 0.0;
        };
        for (int gain = 0; gain < kGains; ++gain) {
            if (!passed(gain)) {
                continue;
            }
            Candidate c;
            Recommendation& r = c.recommendation;
            r.point = {static_cast<std::uint8_t>(gain), row};
            r.bound = at[static_cast<std::size_t>(gain)]->figure;
            int first = gain;
            while (first > 0 && passed(first - 1)) {
                --first;
            }
            int last = gain;
            while (last < device::kMaxGain && passed(last + 1)) {
                ++last;
            }
            r.windowFirst = static_cast<std::uint8_t>(first);
            r.windowLast = static_cast<std::uint8_t>(last);
            if (first > 0) {
                r.marginBelow = gain - (first - 1);
                c.neighbours += ratio(first - 1);
            }
            if (last < device::kMaxGain) {
                r.marginAbove = last + 1 - gain;
                c.neighbours += ratio(last + 1);
            }
            c.isCurrent = current && *current == r.point;
            c.offCentre = std::abs(gain - (first + last) / 2.0);
            candidates.push_back(c);
        }
    }
    if (candidates.empty()) {
        return std::nullopt;
    }
    auto better = [](const Candidate& a, const Candidate& b) {
        if (a.recommendation.Margin() != b.recommendation.Margin()) {
            return a.recommendation.Margin() > b.recommendation.Margin();
        }
        if (a.isCurrent != b.isCurrent) {
            return a.isCurrent;
        }
        if (a.neighbours != b.neighbours) {
            return a.neighbours < b.neighbours;
        }
        if (a.offCentre != b.offCentre) {
            return a.offCentre < b.offCentre;
        }
        if (a.recommendation.point.hysteresis != b.recommendation.point.hysteresis) {
            return a.recommendation.point.hysteresis < b.recommendation.point.hysteresis;
        }
        return a.recommendation.point.gain < b.recommendation.point.gain;
    };
    const auto best = std::min_element(candidates.begin(), candidates.end(), better);
    Recommendation chosen = best->recommendation;
    for (const Candidate& c : candidates) {
        if (&c != &*best && c.recommendation.Margin() == chosen.Margin()) {
            chosen.equallyGood.push_back(c.recommendation.point);
        }
    }
    return chosen;
}

std::optional<device::Hysteresis> SharedHysteresis(std::span<const SweepResult> results,
                                                   device::Hysteresis current) {
    std::optional<device::Hysteresis> best;
    int bestMargin = -1;
    for (int h = 0; h < device::kHysteresisCount; ++h) {
        const auto row = static_cast<device::Hysteresis>(h);
        int smallest = kUnboundedMargin + 1;
        for (const SweepResult& result : results) {
            const auto r = Recommend(result.points, result.current, {&row, 1});
            smallest = std::min(smallest, r ? r->Margin() : -1);
        }
        if (smallest < 0 || results.empty()) {
            continue;
        }
        if (smallest > bestMargin || (smallest == bestMargin && row == current)) {
            best = row;
            bestMargin = smallest;
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
    if (!state.ClockActive(channel)) {
        return SweepObstacle::NoClock;
    }
    return SweepObstacle::None;
}

SweepRun::SweepRun(RegisterAccess& registers, board::Clock& clock, SweepSettings settings)
    : registers_(registers), clock_(clock), meter_(registers, clock) {
    result_.settings = settings;
}

void SweepRun::Start(const LinkState& before) {
    before_ = before;
    const int channel = result_.settings.channel;
    equalizer_ = before.Equalizer(channel);
    inputControl_ = before.inputControl;
    result_.current = {before.Gain(channel), before.CurrentHysteresis()};
    result_.plan = SweepPoints(result_.settings.crossHysteresis, before.CurrentHysteresis());
    result_.points.clear();
    result_.complete = false;
    result_.recommendation.reset();
    result_.otherHysteresis.reset();
    result_.failure.clear();
    next_ = 0;
    again_.clear();
    measuringAgain_ = false;
    done_ = 0;
    phase_ = Phase::NextPoint;
    state_ = State::Running;
}

bool SweepRun::Over() const {
    return state_ == State::Finished || state_ == State::Cancelled || state_ == State::Failed;
}

bool SweepRun::Write(std::uint8_t reg, std::uint8_t value) {
    writing_ = true;
    const bool ok = registers_.WriteOne(reg, value);
    writing_ = false;
    return ok;
}

bool SweepRun::SetPoint(const SweepPoint& point) {
    const int channel = result_.settings.channel;
    if (result_.settings.crossHysteresis) {
        const std::uint8_t value = device::WithHysteresis(inputControl_, point.hysteresis);
        if (!Write(device::kRegInputControl, value)) {
            Fail("register " + board::Hex0x(device::kRegInputControl) + " could not be written");
            return false;
        }
        inputControl_ = value;
    }
    const std::uint8_t reg = device::EqualizerRegister(channel);
    const std::uint8_t value = device::WithGain(equalizer_, channel, point.gain);
    if (!Write(reg, value)) {
        Fail("register " + board::Hex0x(reg) + " could not be written");
        return false;
    }
    equalizer_ = value;
    return true;
}

bool SweepRun::BeginPoint() {
    const SweepPoint point = result_.plan[currentIndex_];
    pointStarted_ = clock_.Now();
    resets_ = 0;
    if (!SetPoint(point)) {
        return false;
    }
    Expectation expected;
    expected.channel = result_.settings.channel;
    expected.gain = point.gain;
    expected.hysteresis = point.hysteresis;
    if (!meter_.Begin(expected)) {
        Fail("the error counters could not be read");
        return false;
    }
    phase_ = Phase::Measuring;
    return true;
}

void SweepRun::EndPoint() {
    PointResult measured;
    measured.point = result_.plan[currentIndex_];
    measured.tally = meter_.Totals();
    measured.wallSeconds = std::chrono::duration<double>(clock_.Now() - pointStarted_).count();
    const int stop = result_.settings.stopAfterErrors;
    measured.stoppedEarly = stop > 0 && measured.tally.MostErrors() >= static_cast<unsigned>(stop);
    PointResult* stored = nullptr;
    if (measuringAgain_ && currentIndex_ < result_.points.size()) {
        stored = &result_.points[currentIndex_];
        stored->tally.Add(measured.tally);
        stored->wallSeconds += measured.wallSeconds;
        stored->measurements = 2;
        stored->stoppedEarly = measured.stoppedEarly;
    } else {
        result_.points.push_back(measured);
        stored = &result_.points.back();
    }
    Judge(*stored, result_.settings);
    ++done_;
    phase_ = Phase::NextPoint;
    if (onPoint) {
        onPoint(*stored);
    }
}

void SweepRun::Conclude() {
    result_.complete = true;
    const device::Hysteresis inForce = result_.current.hysteresis;
    result_.recommendation = Recommend(result_.points, result_.current, {&inForce, 1});
    if (result_.settings.crossHysteresis) {
        constexpr std::array<device::Hysteresis, device::kHysteresisCount> kAll{
            device::Hysteresis::Off, device::Hysteresis::Mv10, device::Hysteresis::Mv20};
        const auto best = Recommend(result_.points, result_.current, kAll);
        if (best && best->point.hysteresis != inForce &&
            (!result_.recommendation || best->Margin() > result_.recommendation->Margin())) {
            result_.otherHysteresis = best;
        }
    }
    Finish(State::Finished);
}

std::optional<board::Clock::TimePoint> SweepRun::Advance() {
    const double dwell = result_.settings.DwellSeconds();
    while (state_ == State::Running) {
        if (phase_ == Phase::Measuring) {
            const board::Clock::TimePoint due = meter_.NextPoll(dwell);
            if (clock_.Now() < due) {
                return due;
            }
            if (!meter_.PollNow()) {
                Fail("the error counters could not be read");
                break;
            }
            if (const auto& span = meter_.LastSpan(); span && span->why) {
                if (Outside(*span->why)) {
                    EndPoint();
                    Fail("the measurement stopped: " + UncountedText(*span->why));
                    break;
                }
                if (*span->why != Uncounted::Lost) {
                    // Someone else changed the setting: set it again and go on counting.
                    if (++resets_ > kMostResets) {
                        Fail(
                            "the channel's settings were changed by someone else again and "
                            "again");
                        break;
                    }
                    equalizer_ = meter_.LastState()
                                     ? meter_.LastState()->Equalizer(result_.settings.channel)
                                     : equalizer_;
                    inputControl_ =
                        meter_.LastState() ? meter_.LastState()->inputControl : inputControl_;
                    if (!SetPoint(result_.plan[currentIndex_])) {
                        break;
                    }
                    if (!meter_.Resume()) {
                        Fail("the error counters could not be read");
                        break;
                    }
                    continue;
                }
            }
            const Tally& tally = meter_.Totals();
            const int stop = result_.settings.stopAfterErrors;
            if (tally.seconds >= dwell - kSecondsSlack ||
                (stop > 0 && tally.MostErrors() >= static_cast<unsigned>(stop))) {
                EndPoint();
            }
            continue;
        }
        if (next_ < result_.plan.size()) {
            currentIndex_ = next_++;
            measuringAgain_ = false;
        } else if (!again_.empty()) {
            currentIndex_ = again_.front();
            again_.erase(again_.begin());
            measuringAgain_ = true;
        } else if (!measuringAgain_ && result_.settings.measureAgain &&
                   done_ == result_.plan.size()) {
            // Isolated failures inside a window and lone passes: once more each.
            for (std::size_t i = 0; i < result_.points.size(); ++i) {
                const PointResult& p = result_.points[i];
                const bool hasLeft = p.point.gain > 0 && i > 0;
                const bool hasRight =
                    p.point.gain < device::kMaxGain && i + 1 < result_.points.size();
                const bool leftPass = hasLeft && result_.points[i - 1].Passed();
                const bool rightPass = hasRight && result_.points[i + 1].Passed();
                const bool isolatedFail = p.verdict == Verdict::Fail && leftPass && rightPass;
                const bool lonePass = p.Passed() && !leftPass && !rightPass;
                if (isolatedFail || lonePass) {
                    again_.push_back(i);
                }
            }
            measuringAgain_ = true;  // chosen: not again
            if (again_.empty()) {
                Conclude();
                break;
            }
            continue;
        } else {
            Conclude();
            break;
        }
        if (!BeginPoint()) {
            break;
        }
    }
    return std::nullopt;
}

void SweepRun::OnReading(const CounterReading& reading) {
    if (state_ == State::Running && phase_ == Phase::Measuring) {
        meter_.OnReading(reading);
    }
}

void SweepRun::OnWrite(const LinkWrite& write) {
    if (state_ == State::Running && phase_ == Phase::Measuring && !writing_) {
        meter_.OnWrite(write);
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
        ok = Write(device::EqualizerRegister(channel), equalizer) && ok;
        equalizer_ = equalizer;
    }
    if (inputControl_ != before_.inputControl) {
        ok = Write(device::kRegInputControl, before_.inputControl) && ok;
        inputControl_ = before_.inputControl;
    }
    return ok;
}

void SweepRun::Finish(State state) {
    state_ = state;
    if (!WriteBack() && result_.failure.empty()) {
        state_ = State::Failed;
        result_.failure = "the channel's registers could not be written back";
    }
}

void SweepRun::Fail(std::string why) {
    result_.failure = std::move(why);
    Finish(State::Failed);
}

bool SweepRun::Apply(const SweepPoint& point, bool withHysteresis) {
    if (!Over()) {
        return false;
    }
    const int channel = result_.settings.channel;
    if (withHysteresis && device::HysteresisOf(inputControl_) != point.hysteresis) {
        const std::uint8_t value = device::WithHysteresis(inputControl_, point.hysteresis);
        if (!Write(device::kRegInputControl, value)) {
            return false;
        }
        inputControl_ = value;
    }
    const std::uint8_t value = device::WithGain(equalizer_, channel, point.gain);
    if (!Write(device::EqualizerRegister(channel), value)) {
        return false;
    }
    equalizer_ = value;
    return true;
}

board::Clock::Duration SweepRun::TimeLeft() const {
    if (state_ != State::Running) {
        return {};
    }
    const double dwell = result_.settings.DwellSeconds();
    double left = static_cast<double>(result_.plan.size() - next_ + again_.size()) * dwell;
    if (phase_ == Phase::Measuring) {
        left += std::max(0.0, dwell - meter_.Totals().seconds);
    }
    return std::chrono::duration_cast<board::Clock::Duration>(std::chrono::duration<double>(left));
}

std::optional<SweepPoint> SweepRun::CurrentPoint() const {
    if (state_ != State::Running || phase_ != Phase::Measuring) {
        return std::nullopt;
    }
    return result_.plan[currentIndex_];
}

void RunToEnd(SweepRun& run, board::Clock& clock,
              const std::function<bool(const SweepRun&)>& progress) {
    while (const auto next = run.Advance()) {
        if (progress && !progress(run)) {
            run.Cancel();
            break;
        }
        clock.SleepUntil(*next);
    }
    if (progress) {
        progress(run);
    }
}

}  // namespace vrq::margin
