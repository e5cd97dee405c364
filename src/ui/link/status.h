// Outcome of one register transfer as the windows branch on it. The values are those the
// windows have always used; callers compare them for equality only.
#pragma once

#include <cstdint>

namespace vrq::link {

enum Status : std::int16_t {
    StatusOk = 8,           // answer arrived, status byte 0
    StatusDeviceError = 1,  // answer arrived, status byte non-zero (chip did not acknowledge)
    StatusReadFailed = 2,   // no answer within the time-out, the board gone, or ambiguous
    StatusWriteFailed = 4,  // the command report could not be written
};

}  // namespace vrq::link
