// A clock that stands still until someone waits on it: a sleep moves it to the time asked for
// at once. Tests and renderings run a simulated board's seconds in no time with it, and a
// test moves it by hand (Advance) where a timer of the window would have waited.
#pragma once

#include "board/clock.h"

namespace vrq::board {

class VirtualClock : public Clock {
  public:
    TimePoint Now() override { return now_; }
    void SleepUntil(TimePoint when) override {
        if (when > now_) {
            now_ = when;
        }
    }
    void Advance(Duration span) { SleepFor(span); }

  private:
    // Far from zero, so that nothing mistakes the start for "never".
    TimePoint now_ = TimePoint{} + std::chrono::hours(1);
};

}  // namespace vrq::board
