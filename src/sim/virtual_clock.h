// A clock whose time passes only when someone waits on it: a wait returns at once with the
// clock moved to its end. Tests and soaks put it under the board link, the sessions and the
// simulated boards, so that pauses and time-outs are asserted on virtual time and cost none.
// Single-threaded, as everything that waits on it.
#pragma once

#include <functional>

#include "board/clock.h"

namespace vrq::sim {

class VirtualClock : public board::Clock {
  public:
    // An arbitrary start, far from the clock's zero, so that no time reads as "never".
    static constexpr Duration kStart = std::chrono::hours(1);

    TimePoint Now() override { return now_; }
    // Moves the clock to when, unless that has passed; onSleep sees every wait, passed or not.
    void SleepUntil(TimePoint when) override;

    // Time passes without anyone waiting (a user who takes a while before the next action).
    void Advance(Duration span) { SleepUntil(now_ + span); }

    // Called with the time a wait began and the time it ends, before it returns (a recorder
    // of pauses, a watchdog).
    std::function<void(TimePoint from, TimePoint until)> onSleep;

  private:
    TimePoint now_{kStart};
};

}  // namespace vrq::sim
