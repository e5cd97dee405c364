// The I2C clock choices a board offers: one entry per divider whose bus clock reaches 100 kHz.
// Plain data so the table can be tested without a window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vrq::ui {

struct ClockEntry {
    std::string text;      // the bus clock in kHz, decimal, no padding ("100", "12000")
    std::uint8_t divider;  // what the set command sends for this entry
};

struct ClockList {
    std::vector<ClockEntry> entries;      // largest divider (lowest clock) first
    std::optional<std::size_t> selected;  // the entry of the divider in force, if listed
};

// Dividers run from 255 down to 1: the set command carries the divider in one byte, so 256
// is never offered. The base clock is taken in kHz in 32 bits, so every base byte works.
// Entries whose integer kHz is not above 99 are left out; equal texts stay separate entries.
ClockList BuildClockList(std::uint8_t baseMHz, std::uint8_t current);

}  // namespace vrq::ui
