#include "ui/main/address_logic.h"

namespace vrq::ui {

std::uint8_t AddressFromBoxes(const AddressBoxes& ticked) {
    unsigned address = 0;
    for (std::size_t i = 0; i < kAddressBoxes; ++i) {
        if (ticked[i]) {
            address |= 1U << (i + 1);
        }
    }
    return static_cast<std::uint8_t>(address);
}

AddressBoxes BoxesFromAddress(std::uint8_t address) {
    AddressBoxes ticked{};
    for (std::size_t i = 0; i < kAddressBoxes; ++i) {
        ticked[i] = ((address >> (i + 1)) & 1U) != 0;
    }
    return ticked;
}

std::array<std::uint8_t, kScanProbeCount> ScanOrder() {
    std::array<std::uint8_t, kScanProbeCount> order{};
    for (std::size_t i = 0; i < kScanProbeCount; ++i) {
        order[i] = static_cast<std::uint8_t>(2 * i);
    }
    return order;
}

bool IsExpectedDevice(link::Status status, std::uint8_t id) {
    return id == kExpectedDeviceId && status != link::StatusDeviceError;
}

}  // namespace vrq::ui
