// The equalization sweep: for one input channel, each receive equalization gain 0x0..0xF
// (optionally at each of the three input hysteresis settings) is set, the error counters
// cleared with a read, left to count for the dwell and read. Only that channel's nibble of
// 0x07/0x08 is written, and 0x03's two hysteresis bits when the hysteresis is swept; the
// channel's values from before are written back at the end or on Cancel. The recommended
// setting is the centre of the widest window of error-free gains.
//
// SweepRun is a state machine the caller drives: Advance does what is due and says when to
// call again, so a window drives it from a timer and stays responsive, and the command-line
// tool from a loop (RunToEnd).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "board/clock.h"
#include "device/link_registers.h"
#include "margin/counter_tap.h"
#include "margin/register_access.h"

namespace vrq::margin {

inline constexpr double kMinDwellSeconds = 0.1;
inline constexpr double kMaxDwellSeconds = 60.0;
inline constexpr double kDefaultPixelClockMHz = 148.5;  // 1080p60

struct SweepSettings {
    int channel = 0;  // 0..3 = A..D
    board::Clock::Duration dwell = std::chrono::seconds(1);
    bool crossHysteresis = false;
    double pixelClockMHz = kDefaultPixelClockMHz;
};

struct SweepPoint {
    std::uint8_t gain = 0;
    device::Hysteresis hysteresis = device::Hysteresis::Off;
    friend bool operator==(const SweepPoint&, const SweepPoint&) = default;
};

struct PointResult {
    SweepPoint point;
    std::array<std::uint32_t, device::kLinkCount> errors{};
    // A counter ran full, or a reading by someone else was lost: the count is a floor.
    std::array<bool, device::kLinkCount> atLeast{};
    double seconds = 0;  // from the clearing read to the final one

    std::uint32_t Total() const;
    bool AnyAtLeast() const;
    bool ErrorFree() const { return Total() == 0 && !AnyAtLeast(); }
};

struct Recommendation {
    SweepPoint point;
    // The error-free gains around it, at its hysteresis.
    std::uint8_t windowFirst = 0;
    std::uint8_t windowLast = 0;
};

struct SweepResult {
    SweepSettings settings;
    std::vector<SweepPoint> plan;
    std::vector<PointResult> points;  // those measured, in plan order
    bool complete = false;
    std::optional<Recommendation> recommendation;  // for a complete sweep only
};

// Gains 0x0..0xF at the hysteresis in force, or at off, 10 mV and 20 mV in turn.
std::vector<SweepPoint> SweepPoints(bool crossHysteresis, device::Hysteresis current);

// The centre of the widest run of neighbouring error-free gains at one hysteresis (the lower
// of two middles; of equal runs the first, hysteresis off before 10 mV before 20 mV).
// nullopt when no point is error-free.
std::optional<Recommendation> Recommend(std::span<const PointResult> results);

// Why a sweep of a channel would measure nothing worth having; None when it can start (the
// checker aside: TurnCheckerOn is offered separately).
enum class SweepObstacle : std::uint8_t {
    None,
    PoweredDown,  // 0x02 bit 5: the inputs are open
    NotSelected,  // the counters count the selected channel, not this one
};
SweepObstacle CheckSweep(const LinkState& state, int channel);

class SweepRun : public CounterListener {
  public:
    enum class State : std::uint8_t { Ready, Running, Finished, Cancelled, Failed };

    SweepRun(RegisterAccess& registers, board::Clock& clock, SweepSettings settings);
    SweepRun(const SweepRun&) = delete;
    SweepRun& operator=(const SweepRun&) = delete;

    // Begins, with before as the chip's registers were read just now: what is written back.
    void Start(const LinkState& before);
    // Does what is due: sets the next point, clears, reads at the end of the dwell. The time
    // to call again; nullopt once the sweep is over (finished, cancelled or failed; the
    // channel's registers then hold their values from before again).
    std::optional<board::Clock::TimePoint> Advance();
    // Stops and writes the values from before back.
    void Cancel();
    // Writes a setting for the swept channel once the sweep is over (no write-back follows).
    bool Apply(const SweepPoint& point);

    State CurrentState() const { return state_; }
    bool Over() const;
    std::size_t PointsDone() const { return result_.points.size(); }
    std::size_t PointsTotal() const { return result_.plan.size(); }
    // What is left at the pace so far: the rest of this dwell and the points to come.
    board::Clock::Duration TimeLeft() const;
    // The point being measured (Running only).
    std::optional<SweepPoint> CurrentPoint() const;
    const SweepResult& Result() const { return result_; }
    const LinkState& Before() const { return before_; }
    // Why it failed: "register 0x07 could not be written", ...
    const std::string& FailureText() const { return failure_; }

    // Readings by anyone else during a dwell add to the point: the chip cleared what they took.
    void OnReading(const CounterReading& reading) override;

  private:
    enum class Phase : std::uint8_t { NextPoint, Dwelling };
    bool SetPoint(const SweepPoint& point);
    // Reads the counters; values only when it worked.
    std::optional<std::array<std::uint8_t, device::kLinkCount>> ReadCounters();
    void Fail(std::string why);
    void Finish(State state);
    bool WriteBack();

    RegisterAccess& registers_;
    board::Clock& clock_;
    SweepResult result_;
    State state_ = State::Ready;
    Phase phase_ = Phase::NextPoint;
    LinkState before_;
    std::uint8_t equalizer_ = 0;     // the channel's register as the sweep has set it
    std::uint8_t inputControl_ = 0;  // 0x03 as the sweep has set it
    bool ownRead_ = false;
    PointResult current_;
    board::Clock::TimePoint pointStarted_{};
    board::Clock::TimePoint cleared_{};
    board::Clock::TimePoint due_{};
    board::Clock::Duration spent_{};  // wall time of the points done
    std::string failure_;
};

// Drives a started sweep to its end on the caller's thread, sleeping on clock between steps;
// progress hears after every step.
void RunToEnd(SweepRun& run, board::Clock& clock,
              const std::function<void(const SweepRun&)>& progress = {});

}  // namespace vrq::margin
