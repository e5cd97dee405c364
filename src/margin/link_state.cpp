#include "margin/link_state.h"

#include <array>

namespace vrq::margin {

namespace {

struct UncountedName {
    const char* key;
    const char* text;
};

constexpr std::array<UncountedName, kUncountedKinds> kNames{{
    {"powered-down", "the chip was powered down (register 0x02 bit 5)"},
    {"checker-off", "the PRBS checker was off (register 0x09 bit 2)"},
    {"not-selected", "another channel was selected (register 0x02)"},
    {"no-clock", "the channel showed no TMDS clock (register 0x01)"},
    {"settings-changed", "the channel's gain or the hysteresis was not the one measured"},
    {"disturbed", "someone else wrote the link registers"},
    {"lost", "a reading of the counters was lost"},
}};

}  // namespace

LinkState LinkStateFrom(std::span<const std::uint8_t> from01) {
    auto at = [&](std::uint8_t reg) { return from01[reg - device::kRegChannelActivity]; };
    LinkState state;
    state.activity = at(device::kRegChannelActivity);
    state.channelSelect = at(device::kRegChannelSelect);
    state.inputControl = at(device::kRegInputControl);
    state.equalizerBA = at(device::kRegEqualizerBA);
    state.equalizerDC = at(device::kRegEqualizerDC);
    state.test = at(device::kRegTest);
    return state;
}

std::string UncountedText(Uncounted why) {
    return kNames[static_cast<std::size_t>(why)].text;
}

std::string UncountedKey(Uncounted why) {
    return kNames[static_cast<std::size_t>(why)].key;
}

std::optional<Uncounted> UncountedFromKey(const std::string& key) {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (key == kNames[i].key) {
            return static_cast<Uncounted>(i);
        }
    }
    return std::nullopt;
}

std::optional<Uncounted> WhyNotCounted(const LinkState& state, const Expectation& expected) {
    if (state.PoweredDown()) {
        return Uncounted::PoweredDown;
    }
    if (!state.CheckerOn()) {
        return Uncounted::CheckerOff;
    }
    if (state.Selected() != expected.channel) {
        return Uncounted::NotSelected;
    }
    if (!state.ClockActive(expected.channel)) {
        return Uncounted::NoClock;
    }
    if ((expected.gain && state.Gain(expected.channel) != *expected.gain) ||
        (expected.hysteresis && state.CurrentHysteresis() != *expected.hysteresis)) {
        return Uncounted::SettingsChanged;
    }
    return std::nullopt;
}

}  // namespace vrq::margin
