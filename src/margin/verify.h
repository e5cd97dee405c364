// Verification of the settings in force: the selected channel measured (a PointMeter) until
// its upper bound is at or below the target (Pass), or until the time limit runs out or the
// errors come so that the target can no longer be shown within it (Fail), or the chip stops
// counting what is being measured (Disturbed). A state machine like SweepRun.
#pragma once

#include <optional>
#include <string>

#include "margin/point_meter.h"
#include "margin/tally.h"

namespace vrq::margin {

struct VerifySettings {
    int channel = 0;
    double characterRateMHz = 148.5;
    double targetBer = kDefaultTargetBer;
    double confidence = kDefaultConfidence;
    double limitSeconds = 0;  // of valid time; 0: three times what the target needs
    double LimitSeconds() const;
};

struct VerifyResult {
    enum class Outcome : std::uint8_t { Running, Pass, Fail, Disturbed, Cancelled, NoAnswer };
    Outcome outcome = Outcome::Running;
    Tally tally;
    std::optional<BerFigure> figure;  // the worst link's
    std::optional<Uncounted> why;     // Disturbed: what stopped the counting
};

class VerifyRun : public CounterListener {
  public:
    VerifyRun(RegisterAccess& registers, board::Clock& clock, VerifySettings settings)
        : meter_(registers, clock), clock_(clock), settings_(settings) {}

    // Starts on the chip as it is: gain and hysteresis as state has them.
    void Start(const LinkState& state);
    std::optional<board::Clock::TimePoint> Advance();
    void Cancel();
    const VerifyResult& Result() const { return result_; }
    const VerifySettings& Settings() const { return settings_; }
    bool Over() const { return result_.outcome != VerifyResult::Outcome::Running; }

    void OnReading(const CounterReading& reading) override;
    void OnWrite(const LinkWrite& write) override;

  private:
    void Update();
    PointMeter meter_;
    board::Clock& clock_;
    VerifySettings settings_;
    VerifyResult result_;
};

// "PASS: below 9.8e-10 after 2.1 s (target 1.0e-09, 95%)", "FAIL: ...".
std::string VerifyText(const VerifyResult& result, const VerifySettings& settings);
std::string VerifyJson(const VerifyResult& result, const VerifySettings& settings);

}  // namespace vrq::margin
