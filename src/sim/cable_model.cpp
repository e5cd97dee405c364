#include "sim/cable_model.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vrq::sim {

namespace {

// How far up the window moves with the input hysteresis on, in gain steps.
double HysteresisShift(device::Hysteresis hysteresis) {
    switch (hysteresis) {
        case device::Hysteresis::Mv10:
            return 0.5;
        case device::Hysteresis::Mv20:
            return 1.0;
        case device::Hysteresis::Off:
            break;
    }
    return 0.0;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<std::uint8_t> ParseGain(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
        value > device::kMaxGain) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(value);
}

}  // namespace

CableSet DefaultCables() {
    CableSet cables{};
    cables[0] = {true, 0x6};
    cables[2] = {true, 0xA};
    return cables;
}

std::uint8_t ActiveClockMask(const CableSet& cables) {
    std::uint8_t mask = 0;
    for (int channel = 0; channel < device::kChannelCount; ++channel) {
        if (cables[static_cast<std::size_t>(channel)].active) {
            mask = static_cast<std::uint8_t>(mask | (1U << channel));
        }
    }
    return mask;
}

double PrbsErrorRate(const Cable& cable, std::uint8_t gain, device::Hysteresis hysteresis) {
    if (!cable.active) {
        return kNoSourceRate;
    }
    const double centre = cable.gain + HysteresisShift(hysteresis);
    const double outside = std::abs(gain - centre) - kCleanHalfWidth;
    if (outside <= 0.0) {
        return 0.0;
    }
    return kEdgeRate * std::pow(kSteepness, outside - 1.0);
}

std::optional<CableSet> ParseCables(std::string_view text, std::string& error) {
    text = Trim(text);
    CableSet cables{};
    if (text == "none") {
        return cables;
    }
    if (text.empty()) {
        error = "no channel given (A=GAIN[,B=GAIN...] or none)";
        return std::nullopt;
    }
    for (;;) {
        const std::size_t comma = text.find(',');
        const std::string_view item = Trim(text.substr(0, comma));
        const std::size_t equals = item.find('=');
        const std::string_view name = Trim(item.substr(0, equals));
        const char letter = name.size() == 1 ? static_cast<char>(name[0] & ~0x20) : '\0';
        if (equals == std::string_view::npos || letter < 'A' || letter > 'D') {
            error = "'" + std::string(item) + "' is not CHANNEL=GAIN with a channel A to D";
            return std::nullopt;
        }
        Cable& cable = cables[static_cast<std::size_t>(letter - 'A')];
        if (cable.active) {
            error = std::string("channel ") + letter + " is given twice";
            return std::nullopt;
        }
        const auto gain = ParseGain(Trim(item.substr(equals + 1)));
        if (!gain) {
            error = "'" + std::string(item) + "': the gain is 0 to 15 (0x0 to 0xF)";
            return std::nullopt;
        }
        cable = {true, *gain};
        if (comma == std::string_view::npos) {
            break;
        }
        text = text.substr(comma + 1);
    }
    return cables;
}

std::string CablesText(const CableSet& cables) {
    std::string text;
    for (int channel = 0; channel < device::kChannelCount; ++channel) {
        const Cable& cable = cables[static_cast<std::size_t>(channel)];
        if (!cable.active) {
            continue;
        }
        char item[8];
        std::snprintf(item, sizeof item, "%c=0x%X", device::ChannelLetter(channel), cable.gain);
        text += (text.empty() ? "" : ",") + std::string(item);
    }
    return text.empty() ? "none" : text;
}

}  // namespace vrq::sim
