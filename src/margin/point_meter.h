// One setting measured: the chip polled (registers 0x01..0x0C in one burst) every 0.1 s, the
// first time after 10 ms, more often while the readings come near full so that the 8-bit counters
// never saturate unseen, and the readings added up over valid time (tally.h). Readings and writes
// by anyone else reach it through the counter tap (OnReading, OnWrite) and count as well. A sweep
// point and a verification are both made of it.
#pragma once

#include <chrono>
#include <optional>

#include "board/clock.h"
#include "margin/counter_tap.h"
#include "margin/register_access.h"
#include "margin/tally.h"

namespace vrq::margin {

inline constexpr auto kPollInterval = std::chrono::milliseconds(100);
inline constexpr auto kFastestPoll = std::chrono::milliseconds(10);

// Registers 0x01..0x0C in one read, as a reading of the counters with the state; nullopt when
// the read failed.
std::optional<CounterReading> Poll(RegisterAccess& registers, board::Clock& clock);

class PointMeter : public CounterListener {
  public:
    PointMeter(RegisterAccess& registers, board::Clock& clock)
        : registers_(registers), clock_(clock) {}

    // Starts counting afresh on the chip as it is now (the caller has set the setting): one
    // poll, whose counts belong to the time before. False when the poll failed.
    bool Begin(const Expectation& expected);
    // The setting was written anew: the open span is dropped, the totals kept.
    bool Resume();
    // One poll; false when it failed. The span it closed, if any, is LastSpan.
    bool PollNow();
    // When to poll next (from the last poll) to count up to seconds of valid time.
    board::Clock::TimePoint NextPoll(double seconds) const;

    const Tally& Totals() const { return time_.Totals(); }
    const std::optional<ValidTime::Span>& LastSpan() const { return lastSpan_; }
    const std::optional<LinkState>& LastState() const { return time_.LastState(); }
    board::Clock::TimePoint StartedAt() const { return started_; }

    void OnReading(const CounterReading& reading) override;
    void OnWrite(const LinkWrite& write) override;

  private:
    RegisterAccess& registers_;
    board::Clock& clock_;
    ValidTime time_;
    bool own_ = false;  // an exchange of its own is under way
    bool active_ = false;
    board::Clock::Duration interval_ = kPollInterval;
    board::Clock::TimePoint started_{};
    board::Clock::TimePoint lastPoll_{};
    std::optional<ValidTime::Span> lastSpan_;
};

}  // namespace vrq::margin
