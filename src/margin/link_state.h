// The chip's link registers as one read found them, and whether time counts in that state:
// the PRBS checker counts errors only while the chip is powered up, the measured channel is
// the selected one with an active clock, the checker is on and the channel's settings are
// those being measured. Every tool counts time and errors only between two readings that
// both found such a state.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "device/link_registers.h"

namespace vrq::margin {

// Registers 0x01..0x09 as one read found them: what the tools check before they start, what
// every poll checks, and what a sweep writes back afterwards.
struct LinkState {
    std::uint8_t activity = 0;       // 0x01
    std::uint8_t channelSelect = 0;  // 0x02
    std::uint8_t inputControl = 0;   // 0x03
    std::uint8_t equalizerBA = 0;    // 0x07
    std::uint8_t equalizerDC = 0;    // 0x08
    std::uint8_t test = 0;           // 0x09

    int Selected() const { return device::SelectedChannel(channelSelect); }
    bool PoweredDown() const { return (channelSelect & device::kPowerDownBit) != 0; }
    bool CheckerOn() const { return (test & device::kPrbsCheckerBit) != 0; }
    bool ClockActive(int channel) const { return (activity & (1U << channel)) != 0; }
    std::uint8_t Equalizer(int channel) const {
        return device::EqualizerRegister(channel) == device::kRegEqualizerBA ? equalizerBA
                                                                             : equalizerDC;
    }
    std::uint8_t Gain(int channel) const { return device::GainOf(Equalizer(channel), channel); }
    device::Hysteresis CurrentHysteresis() const { return device::HysteresisOf(inputControl); }
    friend bool operator==(const LinkState&, const LinkState&) = default;
};

// The state from the values of registers 0x01 onwards (at least through 0x09).
LinkState LinkStateFrom(std::span<const std::uint8_t> from01);

// Why time was not counted. In the order they are checked.
enum class Uncounted : std::uint8_t {
    PoweredDown,      // 0x02 bit 5: the inputs are open
    CheckerOff,       // 0x09 bit 2 clear: nothing counts
    NotSelected,      // the counters count another channel
    NoClock,          // the channel shows no TMDS clock: the checker may count nothing
    SettingsChanged,  // the channel's gain or the hysteresis is not the one measured
    Disturbed,        // someone else wrote the link registers in between
    Lost,             // a reading's values never arrived: its errors are unknown
};
inline constexpr int kUncountedKinds = 7;

// "the chip was powered down", ...
std::string UncountedText(Uncounted why);
// "powered-down", ... (CSV and JSON).
std::string UncountedKey(Uncounted why);
std::optional<Uncounted> UncountedFromKey(const std::string& key);

// What a measurement expects of the chip: the channel, and its gain and the hysteresis when
// they are fixed (a sweep point, a verification); unset, whatever they are.
struct Expectation {
    int channel = 0;
    std::optional<std::uint8_t> gain;
    std::optional<device::Hysteresis> hysteresis;
};

// Why time in this state does not count; nullopt when it does.
std::optional<Uncounted> WhyNotCounted(const LinkState& state, const Expectation& expected);

}  // namespace vrq::margin
