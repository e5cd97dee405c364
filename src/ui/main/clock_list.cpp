#include "ui/main/clock_list.h"

namespace vrq::ui {

namespace {
constexpr unsigned kLargestDivider = 255;
constexpr std::uint32_t kLowestListedKHz = 100;
}  // namespace

ClockList BuildClockList(std::uint8_t baseMHz, std::uint8_t current) {
    const std::uint32_t baseKHz = std::uint32_t{baseMHz} * 1000U;
    ClockList list;
    for (unsigned divider = kLargestDivider; divider >= 1; --divider) {
        const std::uint32_t kHz = baseKHz / divider;
        if (kHz >= kLowestListedKHz) {
            list.entries.push_back({std::to_string(kHz), static_cast<std::uint8_t>(divider)});
        }
        // The clock never falls as the divider falls, so the newest entry is the divider's
        // own when it is listed at all; below 100 kHz nothing is listed yet.
        if (divider == current && !list.entries.empty()) {
            list.selected = list.entries.size() - 1;
        }
    }
    return list;
}

}  // namespace vrq::ui
