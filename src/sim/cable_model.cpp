#include "sim/cable_model.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vrq::sim {

namespace {

constexpr double kMinHalfWidth = 0.5;
constexpr double kMaxHalfWidth = 8.0;
constexpr double kMaxDropSeconds = 1.0e6;

// How far up the need moves with the input hysteresis on, in gain steps.
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

std::optional<unsigned> ParseUnsigned(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> ParseDecimal(std::string_view text, double low, double high) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
        return std::nullopt;
    }
    return value;
}

int ChannelOf(std::string_view name) {
    const char letter = name.size() == 1 ? static_cast<char>(name[0] & ~0x20) : '\0';
    return letter >= 'A' && letter <= 'D' ? letter - 'A' : -1;
}

// One "X=GAIN[:option...]" item into cable, or the reason it is refused.
std::string ParseCable(std::string_view item, Cable& cable) {
    const std::size_t equals = item.find('=');
    std::string_view rest = Trim(item.substr(equals + 1));
    const std::size_t colon = rest.find(':');
    const auto gain = ParseUnsigned(Trim(rest.substr(0, colon)));
    if (!gain || *gain > kMaxNeededGain) {
        return "'" + std::string(item) + "': the gain is 0 to 31 (0x0 to 0x1F)";
    }
    cable = Cable{};
    cable.active = true;
    cable.gain = static_cast<std::uint8_t>(*gain);
    std::string_view options = rest.substr(colon == std::string_view::npos ? rest.size() : colon);
    while (!options.empty()) {
        options.remove_prefix(1);  // the colon
        const std::size_t next = options.find(':');
        const std::string_view option = Trim(options.substr(0, next));
        options = options.substr(next == std::string_view::npos ? options.size() : next);
        const std::size_t is = option.find('=');
        const std::string_view key = option.substr(0, is);
        const std::string_view value = is == std::string_view::npos ? "" : option.substr(is + 1);
        if (key == "video" && is == std::string_view::npos) {
            cable.prbs = false;
        } else if (const auto width = ParseDecimal(value, kMinHalfWidth, kMaxHalfWidth);
                   key == "width" && width) {
            cable.halfWidth = *width;
        } else if (const auto drop = ParseDecimal(value, 0.0, kMaxDropSeconds);
                   key == "drop" && drop) {
            cable.dropAfter = *drop;
        } else {
            return "'" + std::string(option) +
                   "' is not width=STEPS (0.5 to 8), drop=SECONDS or video";
        }
    }
    return {};
}

}  // namespace

CableSet DefaultCables() {
    CableSet cables;
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

double CableBitErrorRatio(const Cable& cable, std::uint8_t gain, device::Hysteresis hysteresis) {
    if (!cable.active) {
        return 0.0;
    }
    if (!cable.prbs) {
        return kNotPrbsErrorRatio;
    }
    const double distance = std::abs(gain - (cable.gain + HysteresisShift(hysteresis)));
    const double q = kQAtEdge + kQPerStep * (cable.halfWidth - distance);
    return q <= 0.0 ? 0.5 : 0.5 * std::erfc(q / std::sqrt(2.0));
}

std::optional<CableSet> ParseCables(std::string_view text, std::string& error) {
    text = Trim(text);
    CableSet cables;
    if (text == "none") {
        return cables;
    }
    if (text.empty()) {
        error = "no channel given (A=GAIN[,B=GAIN...] or none)";
        return std::nullopt;
    }
    std::array<bool, device::kChannelCount> named{};
    bool pinsNamed = false;
    for (;;) {
        const std::size_t comma = text.find(',');
        const std::string_view item = Trim(text.substr(0, comma));
        const std::size_t equals = item.find('=');
        const std::string_view name = Trim(item.substr(0, equals));
        if (name == "pins" && equals != std::string_view::npos && !pinsNamed) {
            const std::string_view value = Trim(item.substr(equals + 1));
            pinsNamed = true;
            cables.pinChannel = ChannelOf(value);
            if (value != "auto" && cables.pinChannel < 0) {
                error = "'" + std::string(item) + "': the pins select auto, A, B, C or D";
                return std::nullopt;
            }
        } else {
            const int channel = ChannelOf(name);
            if (equals == std::string_view::npos || channel < 0) {
                error = "'" + std::string(item) +
                        "' is not CHANNEL=GAIN with a channel A to D, nor pins=auto|A..D";
                return std::nullopt;
            }
            if (named[static_cast<std::size_t>(channel)]) {
                error =
                    std::string("channel ") + device::ChannelLetter(channel) + " is given twice";
                return std::nullopt;
            }
            named[static_cast<std::size_t>(channel)] = true;
            error = ParseCable(item, cables[static_cast<std::size_t>(channel)]);
            if (!error.empty()) {
                return std::nullopt;
            }
        }
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
        char item[80];
        std::snprintf(item, sizeof item, "%c=0x%X", device::ChannelLetter(channel), cable.gain);
        std::string one = item;
        if (cable.halfWidth != kDefaultHalfWidth) {
            std::snprintf(item, sizeof item, ":width=%g", cable.halfWidth);
            one += item;
        }
        if (cable.dropAfter > 0) {
            std::snprintf(item, sizeof item, ":drop=%g", cable.dropAfter);
            one += item;
        }
        one += cable.prbs ? "" : ":video";
        text += (text.empty() ? "" : ",") + one;
    }
    if (cables.pinChannel >= 0) {
        text += std::string(text.empty() ? "" : ",") +
                "pins=" + device::ChannelLetter(cables.pinChannel);
    }
    return text.empty() ? "none" : text;
}

}  // namespace vrq::sim
