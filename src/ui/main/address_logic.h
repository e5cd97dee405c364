// The chip address as the seven ADDR boxes show it, and the order in which the scan probes
// the bus. Plain data so both can be checked without a window.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "device/register_map.h"
#include "ui/link/status.h"

namespace vrq::ui {

inline constexpr std::size_t kAddressBoxes = 7;
using AddressBoxes = std::array<bool, kAddressBoxes>;

// Box i is bit i of the 7-bit address, so bit i + 1 of the 8-bit write form; bit 0 stays 0.
std::uint8_t AddressFromBoxes(const AddressBoxes& ticked);
AddressBoxes BoxesFromAddress(std::uint8_t address);

// Every write-form address, ascending: 0x00, 0x02, ... 0xFE.
inline constexpr std::size_t kScanProbeCount = 128;
std::array<std::uint8_t, kScanProbeCount> ScanOrder();

// The register every probe reads, and what the VRQ66208A holds there.
inline constexpr std::uint8_t kIdRegister = 0x00;
inline constexpr std::uint8_t kExpectedDeviceId = device::kDeviceId;
inline constexpr float kProbePauseSeconds = 0.1F;

// The probe found the chip. A probe that failed leaves the byte as an earlier probe left it,
// so the status is checked as well as the byte.
bool IsExpectedDevice(link::Status status, std::uint8_t id);

}  // namespace vrq::ui
