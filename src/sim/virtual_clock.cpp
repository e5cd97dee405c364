#include "sim/virtual_clock.h"

namespace vrq::sim {

void VirtualClock::SleepUntil(TimePoint when) {
    const TimePoint from = now_;
    if (when > now_) {
        now_ = when;
    }
    if (onSleep) {
        onSleep(from, now_);
    }
}

}  // namespace vrq::sim
