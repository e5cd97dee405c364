// The system's watch of the evaluation boards' hidraw nodes, through libudev's monitor (hidapi
// has no such interface): a board plugged in arrives with its node's path, any hidraw node
// that goes leaves.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "board/device_watch.h"

namespace vrq::board {

// The vendor and product of a HID device's "HID_ID" property ("0003:00001209:00006208").
struct HidIds {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};
std::optional<HidIds> ParseHidId(std::string_view property);

// Null, with why, when the system gives no monitor (no udev in a container, say): the program
// then finds boards only at start-up and on Reconnect, as before.
std::unique_ptr<DeviceWatch> WatchBoards(std::string& why);

}  // namespace vrq::board
