#include "margin/channel_sweeps.h"

#include <algorithm>
#include <array>

#include "margin/margin_text.h"
#include "margin/point_meter.h"

namespace vrq::margin {

namespace {

std::size_t PlanSize(const SweepSettings& settings) {
    return SweepPoints(settings.crossHysteresis, device::Hysteresis::Off).size();
}

board::Clock::Duration Seconds(double seconds) {
    return std::chrono::duration_cast<board::Clock::Duration>(
        std::chrono::duration<double>(seconds));
}

}  // namespace

bool ChannelChoice::Complete() const {
    return !channels.empty() && std::all_of(channels.begin(), channels.end(),
                                            [](const auto& c) { return c.second.has_value(); });
}

ChannelSweeps::ChannelSweeps(RegisterAccess& registers, board::Clock& clock,
                             ChannelSweepSettings settings)
    : registers_(registers), clock_(clock), settings_(std::move(settings)) {}

ChannelSweeps::~ChannelSweeps() = default;

void ChannelSweeps::Start(const LinkState& before) {
    before_ = before;
    select_ = before.channelSelect;
    results_.clear();
    suspects_.clear();
    failure_.clear();
    failedChannel_.reset();
    obstacle_ = SweepObstacle::None;
    run_.reset();
    next_ = 0;
    phase_ = Phase::Select;
    state_ = settings_.channels.empty() ? State::Finished : State::Running;
}

bool ChannelSweeps::Over() const {
    return state_ == State::Finished || state_ == State::Cancelled || state_ == State::Failed;
}

std::optional<int> ChannelSweeps::CurrentChannel() const {
    if (settings_.channels.empty() || state_ == State::Ready) {
        return std::nullopt;
    }
    return settings_.channels[std::min(next_, settings_.channels.size() - 1)];
}

std::optional<board::Clock::TimePoint> ChannelSweeps::Advance() {
    while (state_ == State::Running) {
        const int channel = settings_.channels[next_];
        switch (phase_) {
            case Phase::Select: {
                if (settings_.byHand) {
                    const std::uint8_t select =
                        device::SelectingByHand(before_.channelSelect, channel);
                    if (select != select_) {
                        if (!registers_.WriteOne(device::kRegChannelSelect, select)) {
                            Fail("register 0x02 could not be written", channel);
                            break;
                        }
                        select_ = select;
                    }
                }
                const auto state = ReadLinkState(registers_);
                if (!state) {
                    Fail("registers 0x01..0x09 could not be read", channel);
                    break;
                }
                obstacle_ = CheckSweep(*state, channel);
                if (obstacle_ != SweepObstacle::None) {
                    Fail(ObstacleText(obstacle_, *state, channel), channel);
                    break;
                }
                // The look's first reading only clears the counters.
                if (!Poll(registers_, clock_)) {
                    Fail("the error counters could not be read", channel);
                    break;
                }
                lookDue_ = clock_.Now() + kSourceLook;
                phase_ = Phase::Look;
                break;
            }
            case Phase::Look: {
                if (clock_.Now() < lookDue_) {
                    return lookDue_;
                }
                const auto reading = Poll(registers_, clock_);
                if (!reading) {
                    Fail("the error counters could not be read", channel);
                    break;
                }
                if (std::all_of(reading->counts.begin(), reading->counts.end(),
                                [](std::uint8_t c) { return c == device::kCounterFull; })) {
                    suspects_.push_back(channel);
                }
                channelState_ = *reading->state;
                BeginSweep();
                break;
            }
            case Phase::Sweep:
                if (const auto next = run_->Advance()) {
                    return next;
                }
                EndChannel();
                break;
        }
    }
    return std::nullopt;
}

void ChannelSweeps::BeginSweep() {
    SweepSettings sweep = settings_.sweep;
    sweep.channel = settings_.channels[next_];
    run_ = std::make_unique<SweepRun>(registers_, clock_, sweep);
    run_->onPoint = [this](const PointResult& point) {
        if (onPoint) {
            onPoint(*run_, point);
        }
    };
    run_->Start(channelState_);
    phase_ = Phase::Sweep;
    if (onChannel) {
        onChannel(*run_);
    }
}

void ChannelSweeps::EndChannel() {
    results_.push_back(run_->Result());
    if (onChannelEnd) {
        onChannelEnd(*run_);
    }
    const SweepRun::State ended = run_->CurrentState();
    const int channel = settings_.channels[next_];
    if (ended == SweepRun::State::Failed) {
        const std::string why = run_->FailureText();
        run_.reset();
        Fail(why, channel);
        return;
    }
    run_.reset();
    if (ended == SweepRun::State::Cancelled) {
        Finish(State::Cancelled);
        return;
    }
    if (++next_ == settings_.channels.size()) {
        next_ = settings_.channels.size() - 1;
        Finish(State::Finished);
        return;
    }
    phase_ = Phase::Select;
}

void ChannelSweeps::Cancel() {
    if (state_ != State::Running) {
        return;
    }
    if (run_) {
        run_->Cancel();
        EndChannel();  // finishes as the channel's sweep ended
        if (state_ != State::Running) {
            return;
        }
    }
    Finish(State::Cancelled);
}

void ChannelSweeps::Fail(std::string why, int channel) {
    failure_ = std::move(why);
    failedChannel_ = channel;
    Finish(State::Failed);
}

void ChannelSweeps::Finish(State state) {
    state_ = state;
    // A sweep that ends of itself has written its channel's registers back; after a failure
    // nobody knows what holds what.
    if (!PutBack(state == State::Failed) && state != State::Failed) {
        state_ = State::Failed;
        failure_ = "registers 0x02, 0x03, 0x07 and 0x08 could not be put back";
    }
}

bool ChannelSweeps::PutBack(bool all) {
    bool ok = true;
    if (all) {
        const std::array<std::uint8_t, 2> gains{before_.equalizerBA, before_.equalizerDC};
        ok = registers_.Write(device::kRegEqualizerBA, gains) && ok;
        ok = registers_.WriteOne(device::kRegInputControl, before_.inputControl) && ok;
    }
    if (select_ != before_.channelSelect) {
        if (registers_.WriteOne(device::kRegChannelSelect, before_.channelSelect)) {
            select_ = before_.channelSelect;
        } else {
            ok = false;
        }
    }
    return ok;
}

bool ChannelSweeps::Restore() {
    return Over() && PutBack(true);
}

std::size_t ChannelSweeps::PointsDone() const {
    std::size_t done = 0;
    for (const SweepResult& result : results_) {
        done += result.points.size();
    }
    return done + (run_ ? run_->Result().points.size() : 0);
}

std::size_t ChannelSweeps::PointsTotal() const {
    const std::size_t plan = PlanSize(settings_.sweep);
    std::size_t total = PointsDone();
    if (run_) {
        total += plan - std::min(plan, run_->Result().points.size());
    }
    if (!Over()) {
        const std::size_t after = settings_.channels.size() - next_ - (run_ ? 1 : 0);
        total += after * plan;
    }
    return total;
}

board::Clock::Duration ChannelSweeps::TimeLeft() const {
    if (state_ != State::Running) {
        return {};
    }
    const double dwell = settings_.sweep.DwellSeconds();
    const auto perChannel =
        kSourceLook + Seconds(static_cast<double>(PlanSize(settings_.sweep)) * dwell);
    const std::size_t after = settings_.channels.size() - next_ - 1;
    const board::Clock::Duration current = run_ ? run_->TimeLeft() : perChannel;
    return current + static_cast<board::Clock::Duration::rep>(after) * perChannel;
}

board::Clock::Duration ChannelSweeps::LongestTime(const ChannelSweepSettings& settings) {
    const double dwell = settings.sweep.DwellSeconds();
    const auto perChannel =
        kSourceLook + Seconds(static_cast<double>(PlanSize(settings.sweep)) * dwell);
    return static_cast<board::Clock::Duration::rep>(settings.channels.size()) * perChannel;
}

ChannelChoice ChannelSweeps::Choose(bool withHysteresis) const {
    ChannelChoice choice;
    const device::Hysteresis inForce = before_.CurrentHysteresis();
    choice.hysteresis = inForce;
    if (settings_.sweep.crossHysteresis) {
        if (settings_.channels.size() > 1) {
            choice.hysteresis = SharedHysteresis(results_, inForce).value_or(inForce);
        } else if (withHysteresis && !results_.empty() && results_.front().otherHysteresis) {
            choice.hysteresis = results_.front().otherHysteresis->point.hysteresis;
        }
    }
    choice.hysteresisChanged = choice.hysteresis != inForce;
    for (const SweepResult& result : results_) {
        std::optional<Recommendation> r;
        if (result.complete) {
            r = Recommend(result.points, result.current, {&choice.hysteresis, 1});
        }
        choice.channels.emplace_back(result.settings.channel, r);
    }
    return choice;
}

bool ChannelSweeps::Apply(const ChannelChoice& choice, bool withHysteresis) {
    if (!Over()) {
        return false;
    }
    std::array<std::uint8_t, 2> gains{before_.equalizerBA, before_.equalizerDC};
    for (const auto& [channel, r] : choice.channels) {
        if (r) {
            std::uint8_t& reg = gains[device::EqualizerRegister(channel) - device::kRegEqualizerBA];
            reg = device::WithGain(reg, channel, r->point.gain);
        }
    }
    if (!registers_.Write(device::kRegEqualizerBA, gains)) {
        return false;
    }
    if (withHysteresis && choice.hysteresisChanged) {
        return registers_.WriteOne(device::kRegInputControl,
                                   device::WithHysteresis(before_.inputControl, choice.hysteresis));
    }
    return true;
}

void ChannelSweeps::OnReading(const CounterReading& reading) {
    if (run_) {
        run_->OnReading(reading);
    }
}

void ChannelSweeps::OnWrite(const LinkWrite& write) {
    if (run_) {
        run_->OnWrite(write);
    }
}

}  // namespace vrq::margin
