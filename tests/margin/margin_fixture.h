// The link-margin engine against one simulated board on a virtual clock (the shared rig): the
// board link the window uses, the counter tap on the exchange hub, and the chip.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <vector>

#include "margin/counter_tap.h"
#include "margin/register_access.h"
#include "support/sim_rig.h"
#include "ui/link/link_registers.h"

namespace vrq::test {

inline constexpr std::uint8_t kChipAddress = kChip;

class MarginTest : public ::testing::Test, public SimRig {
  protected:
    void SetUp() override {
        Connect();
        link.SetI2CAddress(kChipAddress);
        tap.Watch(0, kChipAddress);
    }
    void Cables(const char* text) {
        std::string error;
        const auto cables = sim::ParseCables(text, error);
        ASSERT_TRUE(cables.has_value()) << error;
        Chip().SetCables(*cables);
    }
    // A register the way any reader would write it, through the link.
    void Write(std::uint8_t reg, std::uint8_t value) {
        ASSERT_TRUE(registers.WriteOne(reg, value));
    }
    // The three counters as a plain read of count registers from first would return them.
    std::array<std::uint8_t, 3> ReadCounters(std::uint8_t first = 0x0A, std::size_t count = 3) {
        std::vector<std::uint8_t> values(count);
        EXPECT_TRUE(registers.Read(first, values));
        std::array<std::uint8_t, 3> counts{};
        for (std::size_t i = 0; i < 3; ++i) {
            counts[i] = values[0x0A + i - first];
        }
        return counts;
    }
    // A poll as every tool makes it: 0x01..0x0C in one read (state and counters together).
    void Poll() { ASSERT_TRUE(margin::ReadLinkState(registers, true)); }
    void Advance(double seconds) {
        clock.Advance(std::chrono::duration_cast<board::Clock::Duration>(
            std::chrono::duration<double>(seconds)));
    }

    margin::CounterTap tap;
    board::ScopedObserver tapOnHub{hub, tap};
    link::LinkRegisters registers{link};
};

}  // namespace vrq::test
