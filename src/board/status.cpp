#include "board/status.h"

namespace vrq::board {

const char* StatusName(Status status) {
    switch (status) {
        case StatusOk:
            return "ok";
        case StatusDeviceError:
            return "device error";
        case StatusReadFailed:
            return "read failed";
        case StatusWriteFailed:
            return "write failed";
    }
    return "unknown status";
}

}  // namespace vrq::board
