#include "board/hex.h"

#include <limits>

namespace vrq::board {

namespace {
constexpr std::string_view kDigits = "0123456789ABCDEF";
}  // namespace

std::string ByteToHex(std::uint8_t value) {
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::string Hex0x(std::uint8_t value) {
    return "0x" + ByteToHex(value);
}

std::string HexDigits(unsigned value) {
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value & 0xFU]);
        value >>= 4;
    } while (value != 0);
    return text;
}

std::optional<std::uint8_t> HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<std::uint8_t>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<std::uint8_t>(c - 'a' + 10);
    }
    return std::nullopt;
}

unsigned ParseHexText(std::string_view text) {
    constexpr unsigned kMax = std::numeric_limits<unsigned>::max();
    unsigned value = 0;
    for (const char c : text) {
        const auto digit = HexDigitValue(c);
        if (!digit) {
            break;
        }
        if (value > (kMax >> 4)) {
            return kMax;
        }
        value = (value << 4) | *digit;
    }
    return value;
}

bool IsHexByteText(std::string_view text) {
    if (text.empty() || text.size() > 2) {
        return false;
    }
    for (const char c : text) {
        if (!HexDigitValue(c)) {
            return false;
        }
    }
    return true;
}

std::uint8_t AddToByte(std::uint8_t value, std::int16_t step) {
    return static_cast<std::uint8_t>((value + step) & 0xFF);
}

}  // namespace vrq::board
