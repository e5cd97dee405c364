// Where the board layer, its pauses and the simulated board take their time from. The program
// runs on the real steady clock; a test may put a clock of its own in its place, so that waits
// are asserted on virtual time and cost none.
#pragma once

#include <chrono>

namespace vrq::board {

class Clock {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;

    virtual ~Clock() = default;
    virtual TimePoint Now() = 0;
    // Returns at or after the given time (at once when it has passed).
    virtual void SleepUntil(TimePoint when) = 0;

    void SleepFor(Duration span) { SleepUntil(Now() + span); }

    // The steady clock of the machine; one object for the whole program.
    static Clock& Real();
};

}  // namespace vrq::board
