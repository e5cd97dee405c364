#include "cli/numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "board/hex.h"

namespace vrq::cli {

std::optional<unsigned> ParseNumber(std::string_view text, unsigned max) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    unsigned long value = 0;
    for (const char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > max) {
            return std::nullopt;
        }
    }
    return static_cast<unsigned>(value);
}

std::string Hex(unsigned value) {
    if (value <= 0xFF) {
        return board::Hex0x(static_cast<std::uint8_t>(value));
    }
    return "0x" + board::HexDigits(value);
}

std::optional<unsigned> ParseArgument(const NumberRule& rule, std::string_view text,
                                      std::string& error) {
    const auto value = ParseNumber(text, rule.max);
    if (value && *value >= rule.min) {
        return value;
    }
    const std::string range = rule.hex
                                  ? Hex(rule.min) + " to " + Hex(rule.max)
                                  : std::to_string(rule.min) + " to " + std::to_string(rule.max);
    error = std::string(rule.name) + " must be " + range + " (0x for hexadecimal), not '" +
            std::string(text) + "'";
    return std::nullopt;
}

std::string RunPastLastRegister(unsigned first, std::size_t count) {
    const std::size_t last = first + count - 1;
    if (count == 0 || last <= 0xFF) {
        return {};
    }
    return std::to_string(count) + " registers from " + Hex(first) + " would run to " +
           Hex(static_cast<unsigned>(last)) +
           ", past the last register 0xFF: start lower or give fewer";
}

double BusKhz(unsigned baseMHz, unsigned divider) {
    return baseMHz * 1000.0 / (divider == 0 ? 256U : divider);
}

std::string KhzText(double khz) {
    char text[32];
    if (std::abs(khz - std::round(khz)) < 1e-9) {
        std::snprintf(text, sizeof text, "%.0f", khz);
    } else {
        std::snprintf(text, sizeof text, "%.1f", khz);
    }
    return text;
}

unsigned NearestDivider(unsigned baseMHz, double khz) {
    constexpr unsigned kMostDivider = 255;
    if (khz <= 0) {
        return kMostDivider;
    }
    const double exact = baseMHz * 1000.0 / khz;
    unsigned best = kMostDivider;
    double bestDistance = std::abs(BusKhz(baseMHz, best) - khz);
    // The nearest divider is one of the two around the exact one; walking down from the
    // slowest keeps the slower of two equally near.
    for (const double candidate : {std::ceil(exact), std::floor(exact)}) {
        const auto d = static_cast<unsigned>(std::clamp(candidate, 1.0, double{kMostDivider}));
        const double distance = std::abs(BusKhz(baseMHz, d) - khz);
        if (distance < bestDistance) {
            best = d;
            bestDistance = distance;
        }
    }
    return best;
}

}  // namespace vrq::cli
