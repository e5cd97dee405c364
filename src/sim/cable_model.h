// The cables on the simulated board's four inputs, and what the chip's PRBS7 checker makes of
// them: enough for the link-margin tools to meet what they meet on hardware.
//
// Each input channel A..D either carries a TMDS source (its clock shows as active in register
// 0x01) or not. A cable needs some receive equalization gain (0x07/0x08) to be received
// cleanly; the farther the gain set is from that, the higher the bit error ratio, along a
// bathtub wall rather than a step (CableBitErrorRatio):
//   - Q = kQAtEdge + kQPerStep x (halfWidth - distance), BER = erfc(Q / sqrt 2) / 2, so the
//     ratio is about 1e-12 halfWidth steps from the needed gain, 2e-8 a step further out and
//     1e-17 a step further in: a short dwell finds the cable clean within halfWidth steps, a
//     long one at a low target finds the edge points failing, as on hardware;
//   - input hysteresis (0x03) needs a little more boost: the need moves up by half a step at
//     10 mV and by a whole step at 20 mV;
//   - a cable may need more than 0xF: then no setting is clean at all.
// While the checker is on, the chip is powered up and the channel is the selected one, each
// data link's counter counts errors as a Poisson process at that ratio times the TMDS
// character rate times 10 bits, times a fixed factor of the link's own (seeded). A source
// that sends ordinary video instead of PRBS7 runs the counters full at every setting; a
// selected channel without a clock gives the checker nothing to count. A source may drop out
// a given time after the cables were set (its clock goes inactive then).
//
// By default (DefaultCables) two channels carry a source: A needs gain 0x6 (a long cable,
// well away from the power-on 0xC, so a first look shows errors) and C needs 0xA.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "device/link_registers.h"

namespace vrq::sim {

inline constexpr double kQAtEdge = 7.0;
inline constexpr double kQPerStep = 1.5;
inline constexpr double kDefaultHalfWidth = 2.0;
inline constexpr std::uint8_t kMaxNeededGain = 0x1F;       // past 0xF: no clean setting
inline constexpr double kDefaultCharacterRateMHz = 148.5;  // 1080p60 at 8 bits a colour
// A source sending anything but PRBS7: the checker finds most characters wrong.
inline constexpr double kNotPrbsErrorRatio = 0.1;

struct Cable {
    bool active = false;                   // a source drives it: its clock shows in register 0x01
    std::uint8_t gain = 0;                 // the equalization gain it needs, 0x00..kMaxNeededGain
    double halfWidth = kDefaultHalfWidth;  // steps either side that a short dwell finds clean
    double dropAfter = 0;  // seconds after the cables are set when the source stops; 0 never
    bool prbs = true;      // false: the source sends ordinary video, not PRBS7
    friend bool operator==(const Cable&, const Cable&) = default;
};

// The four inputs and the board's channel-select pins (used while 0x02 bit 3 is set).
struct CableSet {
    std::array<Cable, device::kChannelCount> channels{};  // A..D
    // The pins: -1 automatic selection (the Auto-Channel Select pin high), else the channel
    // Ch_sel[1:0] selects.
    int pinChannel = -1;

    Cable& operator[](std::size_t channel) { return channels[channel]; }
    const Cable& operator[](std::size_t channel) const { return channels[channel]; }
    friend bool operator==(const CableSet&, const CableSet&) = default;
};

// A needs 0x6, C needs 0xA; B and D carry nothing; the pins select automatically.
CableSet DefaultCables();

// Register 0x01 for these cables as set: bit n set when channel n carries a source.
std::uint8_t ActiveClockMask(const CableSet& cables);

// The bit error ratio on each link (before the link's own factor) of a cable at this gain and
// hysteresis; kNotPrbsErrorRatio for a source that does not send PRBS7; 0 without a source.
double CableBitErrorRatio(const Cable& cable, std::uint8_t gain, device::Hysteresis hysteresis);

// "A=6,C=0xA": the channels that carry a source and the gain each needs (0x-hex or decimal, 0
// to 31; letters in either case), each optionally followed by ":width=STEPS" (half the clean
// window, 0.5 to 8, default 2), ":drop=SECONDS" (the source stops then) and ":video" (no
// PRBS7); "pins=auto|A|B|C|D" sets the select pins. Every channel not named carries nothing.
// "none": no channel carries a source. nullopt, with the reason in error, for anything else.
std::optional<CableSet> ParseCables(std::string_view text, std::string& error);

// The same form back: "A=0x6,C=0xA:width=3,pins=C", or "none".
std::string CablesText(const CableSet& cables);

}  // namespace vrq::sim
