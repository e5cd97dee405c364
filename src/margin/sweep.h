// The equalization sweep: for one input channel, each receive equalization gain 0x0..0xF
// (optionally at each of the three input hysteresis settings) is set and measured (a
// PointMeter: valid time only, polled so that the counters never saturate unseen) until it
// has shown the target bit error ratio with the confidence asked, or for a fixed dwell, or
// until it has N errors. A point passes when its upper bound is at or below the target.
// Only that channel's nibble of 0x07/0x08 is written, and 0x03's two hysteresis bits when the
// hysteresis is swept; the values from before are written back at the end, on Cancel or on a
// failure. An isolated failing point inside a window and a lone passing point are measured
// once more. The recommended setting is the one farthest from any failing point (Recommend).
//
// SweepRun is a state machine the caller drives: Advance does what is due and says when to
// call again, so a window drives it from a timer, the command-line tool from a loop, a script
// with a callback between steps; OnPoint hears of each point as it is measured.
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
#include "margin/point_meter.h"
#include "margin/register_access.h"
#include "margin/statistics.h"
#include "margin/tally.h"

namespace vrq::margin {

inline constexpr double kMinDwellSeconds = 0.1;
inline constexpr double kMaxDwellSeconds = 3600.0;
inline constexpr double kDefaultCharacterRateMHz = 148.5;  // 1080p60 at 8 bits a colour
inline constexpr int kDefaultStopAfterErrors = 20;

struct SweepSettings {
    int channel = 0;  // 0..3 = A..D
    double characterRateMHz = kDefaultCharacterRateMHz;
    double confidence = kDefaultConfidence;
    // The ratio a point must show; unset: kDefaultTargetBer, or with a fixed dwell what that
    // dwell can show (TargetShownBy).
    std::optional<double> targetBer;
    // A fixed time per point; unset: the time that shows the target (SecondsToShow).
    std::optional<board::Clock::Duration> dwell;
    bool crossHysteresis = false;
    int stopAfterErrors = kDefaultStopAfterErrors;  // a point stops at N errors; 0 never
    bool measureAgain = true;                       // isolated failures and lone passes once more

    double Target() const;
    double DwellSeconds() const;
};

struct SweepPoint {
    std::uint8_t gain = 0;
    device::Hysteresis hysteresis = device::Hysteresis::Off;
    friend bool operator==(const SweepPoint&, const SweepPoint&) = default;
};

enum class Verdict : std::uint8_t {
    Pass,         // the upper bound is at or below the target
    Fail,         // errors: the upper bound is above the target
    Short,        // no error, but too little valid time to show the target
    NotMeasured,  // no valid time at all
};

struct PointResult {
    SweepPoint point;
    Tally tally;
    double wallSeconds = 0;  // from setting it to its last reading
    int measurements = 1;    // 2: measured once more, the tallies added
    bool stoppedEarly = false;
    Verdict verdict = Verdict::NotMeasured;
    std::optional<BerFigure> figure;  // the worst link's

    std::uint64_t Total() const;
    bool AnyAtLeast() const { return tally.AnyAtLeast(); }
    bool Passed() const { return verdict == Verdict::Pass; }
};

// The verdict and worst figure of a tally under settings.
void Judge(PointResult& point, const SweepSettings& settings);

struct Recommendation {
    SweepPoint point;
    // The passing gains around it, at its hysteresis.
    std::uint8_t windowFirst = 0;
    std::uint8_t windowLast = 0;
    // Steps to the nearest point that did not pass below and above; unset where none did
    // before the end of the range: that side's margin is unmeasured.
    std::optional<int> marginBelow;
    std::optional<int> marginAbove;
    std::optional<BerFigure> bound;  // what was shown at the point
    // Other settings as good by margin that the tie-break set aside.
    std::vector<SweepPoint> equallyGood;

    // The smaller measured margin; kUnboundedMargin when neither side failed.
    int Margin() const;
};
inline constexpr int kUnboundedMargin = 16;

struct SweepResult {
    SweepSettings settings;
    SweepPoint current;  // the setting in force before the sweep
    std::vector<SweepPoint> plan;
    std::vector<PointResult> points;  // in plan order; a point measured again in its place
    bool complete = false;
    // The setting for the channel, at the hysteresis in force (hysteresis is shared by all
    // four inputs: a single-channel sweep does not choose it unless told to).
    std::optional<Recommendation> recommendation;
    // With the hysteresis swept: the best at another hysteresis, when its margin is greater.
    std::optional<Recommendation> otherHysteresis;
    std::string failure;  // why it stopped, when it failed
};

// Gains 0x0..0xF at the hysteresis in force, or at off, 10 mV and 20 mV in turn.
std::vector<SweepPoint> SweepPoints(bool crossHysteresis, device::Hysteresis current);

// The passing setting farthest in steps from any point of its row that did not pass (the end
// of the range is no failure, but leaves that side's margin unmeasured); of equals the
// current setting, then the one whose failing neighbours show the lower ratios, then the one
// nearer the middle of its window, then the lower hysteresis and gain. Among rows only.
// nullopt when no point passed.
std::optional<Recommendation> Recommend(std::span<const PointResult> results,
                                        std::optional<SweepPoint> current,
                                        std::span<const device::Hysteresis> rows);

// Several channels swept at every hysteresis: the hysteresis (one for all four inputs) whose
// smallest margin across them is greatest; of equals the current one, then the lower. nullopt
// when no hysteresis has a passing setting on every channel.
std::optional<device::Hysteresis> SharedHysteresis(std::span<const SweepResult> results,
                                                   device::Hysteresis current);

// Why a sweep of a channel would measure nothing worth having; None when it can start.
enum class SweepObstacle : std::uint8_t {
    None,
    PoweredDown,  // 0x02 bit 5: the inputs are open
    NotSelected,  // the counters count the selected channel, not this one
    NoClock,      // no TMDS clock on the channel: nothing is counted
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
    // Does what is due: sets the next point, polls. The time to call again; nullopt once the
    // sweep is over (finished, cancelled or failed; the channel's registers then hold their
    // values from before again).
    std::optional<board::Clock::TimePoint> Advance();
    // Stops and writes the values from before back.
    void Cancel();
    // Writes a setting for the swept channel once the sweep is over (no write-back follows);
    // the hysteresis only when withHysteresis (it is every channel's).
    bool Apply(const SweepPoint& point, bool withHysteresis = false);

    // Hears of each point as it is measured (and again when measured once more).
    std::function<void(const PointResult&)> onPoint;

    State CurrentState() const { return state_; }
    bool Over() const;
    std::size_t PointsDone() const { return done_; }
    std::size_t PointsTotal() const { return result_.plan.size() + again_.size(); }
    // The longest the rest can take: the rest of this point and a full dwell for each to come
    // (points that fail stop early).
    board::Clock::Duration TimeLeft() const;
    // The point being measured (Running only).
    std::optional<SweepPoint> CurrentPoint() const;
    const SweepResult& Result() const { return result_; }
    const LinkState& Before() const { return before_; }
    // Why it failed: "register 0x07 could not be written", ...
    const std::string& FailureText() const { return result_.failure; }

    void OnReading(const CounterReading& reading) override;
    void OnWrite(const LinkWrite& write) override;

  private:
    enum class Phase : std::uint8_t { NextPoint, Measuring };
    bool SetPoint(const SweepPoint& point);
    bool BeginPoint();
    void EndPoint();
    void Conclude();
    void Fail(std::string why);
    void Finish(State state);
    bool WriteBack();
    bool Write(std::uint8_t reg, std::uint8_t value);

    RegisterAccess& registers_;
    board::Clock& clock_;
    PointMeter meter_;
    SweepResult result_;
    State state_ = State::Ready;
    Phase phase_ = Phase::NextPoint;
    LinkState before_;
    std::uint8_t equalizer_ = 0;     // the channel's register as the sweep has set it
    std::uint8_t inputControl_ = 0;  // 0x03 as the sweep has set it
    bool writing_ = false;
    std::size_t next_ = 0;            // the next plan index
    std::vector<std::size_t> again_;  // points to measure once more (plan indices)
    bool measuringAgain_ = false;
    std::size_t done_ = 0;
    std::size_t currentIndex_ = 0;
    int resets_ = 0;
    board::Clock::TimePoint pointStarted_{};
};

// Drives a started sweep to its end on the caller's thread, sleeping on clock between steps;
// progress hears after every step, and returning false from it cancels.
void RunToEnd(SweepRun& run, board::Clock& clock,
              const std::function<bool(const SweepRun&)>& progress = {});

}  // namespace vrq::margin
