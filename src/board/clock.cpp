#include "board/clock.h"

#include <thread>

namespace vrq::board {
namespace {

class SteadyClock : public Clock {
  public:
    TimePoint Now() override { return std::chrono::steady_clock::now(); }
    void SleepUntil(TimePoint when) override { std::this_thread::sleep_until(when); }
};

}  // namespace

Clock& Clock::Real() {
    static SteadyClock clock;
    return clock;
}

}  // namespace vrq::board
