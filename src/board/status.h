// Outcome of one register transfer. The values are those the board link has always used;
// callers compare them for equality only.
#pragma once

#include <cstdint>

namespace vrq::board {

enum Status : std::int16_t {
    StatusOk = 8,           // answer arrived, status byte 0
    StatusDeviceError = 1,  // answer arrived, status byte non-zero (chip did not acknowledge)
    StatusReadFailed = 2,   // no answer within the time-out (or the board is gone)
    StatusWriteFailed = 4,  // the command report could not be written
};

const char* StatusName(Status status);

}  // namespace vrq::board
