// The cables on the simulated board's four inputs, and what the chip's PRBS7 checker makes of
// them: enough for the link-margin tools to find something without hardware.
//
// Each input channel A..D either carries a TMDS source (its clock shows as active in register
// 0x01) or not, and its cable needs a receive equalization gain to be received cleanly. While
// the checker is on, the chip is powered up and the channel is the selected one, each data
// link's counter counts errors at PrbsErrorRate:
//   - none while the gain set in 0x07/0x08 is within kCleanHalfWidth steps of the gain the
//     cable needs;
//   - outside that window kEdgeRate errors per second one step past its edge, kSteepness
//     times as many for every further step;
//   - input hysteresis (0x03) needs a little more boost: the window moves up by half a step
//     at 10 mV and by a whole step at 20 mV;
//   - a selected channel without a source gives the checker nothing to lock to: every
//     counter runs full at once.
// On top of that each link has a fixed factor of its own (seeded) and every stretch of time a
// little spread (seeded), so the three links differ and runs repeat.
//
// By default (DefaultCables) two channels carry a source: A needs gain 0x6 (a long cable,
// well away from the power-on 0xC, so a first look shows errors) and C needs 0xA.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "device/link_registers.h"

namespace vrq::sim {

inline constexpr double kCleanHalfWidth = 2.0;
inline constexpr double kEdgeRate = 30.0;  // errors per second one step outside the window
inline constexpr double kSteepness = 20.0;
inline constexpr double kNoSourceRate = 1.0e6;

struct Cable {
    bool active = false;    // a source drives it: its clock shows in register 0x01
    std::uint8_t gain = 0;  // the equalization gain it needs, 0x0..0xF
    friend bool operator==(const Cable&, const Cable&) = default;
};

using CableSet = std::array<Cable, device::kChannelCount>;  // A..D

// A needs 0x6, C needs 0xA; B and D carry nothing.
CableSet DefaultCables();

// Register 0x01 for these cables: bit n set when channel n carries a source.
std::uint8_t ActiveClockMask(const CableSet& cables);

// Errors per second on each link (before the per-link factor and spread) for a selected
// channel with this cable, gain and hysteresis, checker on and chip powered up.
double PrbsErrorRate(const Cable& cable, std::uint8_t gain, device::Hysteresis hysteresis);

// "A=6,C=0xA": the channels that carry a source and the gain each needs (0x-hex or decimal,
// 0 to 15; letters in either case); every channel not named carries nothing. "none": no
// channel carries a source. nullopt, with the reason in error, for anything else.
std::optional<CableSet> ParseCables(std::string_view text, std::string& error);

// The same form back: "A=0x6,C=0xA", or "none".
std::string CablesText(const CableSet& cables);

}  // namespace vrq::sim
