// A sweep of one or several input channels in one run: the composer every front end drives
// (the command-line tool, the window, a script). For each channel in turn it selects the
// channel by hand (register 0x02) when asked to, checks that the chip can count on it
// (CheckSweep), looks for a tenth of a second at the setting in force (counters that run full
// at once mean the source does not send PRBS7, or the setting is far off), and sweeps it
// (SweepRun). Over, it puts 0x02 back; on Cancel or a failure it puts 0x02, 0x03, 0x07 and 0x08
// back as they were before the run. Choose then names the setting of each channel at one
// hysteresis (the input hysteresis is shared by all four inputs) and Apply writes every
// channel's gain in one transfer.
//
// Like SweepRun, a state machine: Advance does what is due and says when to call again.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "margin/sweep.h"

namespace vrq::margin {

struct ChannelSweepSettings {
    SweepSettings sweep;        // every channel's; its channel is set for each
    std::vector<int> channels;  // in the order swept, each once
    // Each channel selected by hand (0x02 bits 1:0, pins and automatic selection off) before
    // it is swept; otherwise each must be the selected one already (a single channel's sweep
    // touches nothing but its gain and the hysteresis bits).
    bool byHand = true;
};

// The settings a finished run recommends: one hysteresis for all inputs and each channel's
// gain at it.
struct ChannelChoice {
    device::Hysteresis hysteresis = device::Hysteresis::Off;
    bool hysteresisChanged = false;  // differs from the one in force before the run
    // In the order swept; nullopt for a channel with no passing setting at that hysteresis.
    std::vector<std::pair<int, std::optional<Recommendation>>> channels;
    // Every channel has a setting.
    bool Complete() const;
};

class ChannelSweeps : public CounterListener {
  public:
    enum class State : std::uint8_t { Ready, Running, Finished, Cancelled, Failed };
    // How long the source is looked at before a channel's sweep.
    static constexpr auto kSourceLook = std::chrono::milliseconds(100);

    ChannelSweeps(RegisterAccess& registers, board::Clock& clock, ChannelSweepSettings settings);
    ChannelSweeps(const ChannelSweeps&) = delete;
    ChannelSweeps& operator=(const ChannelSweeps&) = delete;
    ~ChannelSweeps() override;

    // Begins with before as the chip's registers were read just now: what is put back.
    void Start(const LinkState& before);
    // Does what is due; the time to call again, nullopt once the run is over.
    std::optional<board::Clock::TimePoint> Advance();
    // Stops, the registers put back. Not from inside one of the callbacks below.
    void Cancel();

    // A channel's sweep has started (after its source look); nothing measured yet.
    std::function<void(const SweepRun&)> onChannel;
    // A point was measured (again).
    std::function<void(const SweepRun&, const PointResult&)> onPoint;
    // A channel's sweep ended, finished or not.
    std::function<void(const SweepRun&)> onChannelEnd;

    State CurrentState() const { return state_; }
    bool Over() const;
    const ChannelSweepSettings& Settings() const { return settings_; }
    const LinkState& Before() const { return before_; }
    // Every channel swept so far (the last one perhaps cut short), in order.
    const std::vector<SweepResult>& Results() const { return results_; }
    // The sweep running now; null between channels and once over.
    const SweepRun* Current() const { return run_.get(); }
    // The channel being checked or swept (the last one once over).
    std::optional<int> CurrentChannel() const;
    // Why it stopped, when it failed, and what stopped a channel before its sweep began.
    const std::string& FailureText() const { return failure_; }
    std::optional<int> FailedChannel() const { return failedChannel_; }
    SweepObstacle Obstacle() const { return obstacle_; }
    // Channels whose three counters ran full within the source look.
    const std::vector<int>& SourceSuspects() const { return suspects_; }

    std::size_t PointsDone() const;
    std::size_t PointsTotal() const;
    // The longest the rest can take.
    board::Clock::Duration TimeLeft() const;
    // Everything, before the start: one look and the whole plan per channel.
    static board::Clock::Duration LongestTime(const ChannelSweepSettings& settings);

    // Finished: the setting of each channel. With several channels and the hysteresis swept,
    // the hysteresis whose smallest margin across them is greatest (SharedHysteresis);
    // otherwise the one in force, or for a single channel with withHysteresis the better one
    // its sweep found (its otherHysteresis).
    ChannelChoice Choose(bool withHysteresis) const;
    // Writes the chosen gains (0x07 and 0x08 in one transfer) and, when withHysteresis and
    // it changed, the hysteresis. Only once over; false when a write failed.
    bool Apply(const ChannelChoice& choice, bool withHysteresis);
    // Once over: 0x02, 0x03, 0x07 and 0x08 as they were before the run again (after a
    // verification of an applied choice that is not to stay).
    bool Restore();

    void OnReading(const CounterReading& reading) override;
    void OnWrite(const LinkWrite& write) override;

  private:
    enum class Phase : std::uint8_t { Select, Look, Sweep };
    void BeginSweep();
    void EndChannel();
    void Fail(std::string why, int channel);
    void Finish(State state);
    bool PutBack(bool all);

    RegisterAccess& registers_;
    board::Clock& clock_;
    ChannelSweepSettings settings_;
    State state_ = State::Ready;
    Phase phase_ = Phase::Select;
    LinkState before_;
    LinkState channelState_;  // as the channel's check found it
    std::size_t next_ = 0;    // index into settings_.channels of the channel under way
    board::Clock::TimePoint lookDue_{};
    std::unique_ptr<SweepRun> run_;
    std::vector<SweepResult> results_;
    std::uint8_t select_ = 0;  // 0x02 as the run has set it
    std::string failure_;
    std::optional<int> failedChannel_;
    SweepObstacle obstacle_ = SweepObstacle::None;
    std::vector<int> suspects_;
};

}  // namespace vrq::margin
