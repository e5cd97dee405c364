#include "ui/main/hex_text.h"

#include <limits>

#include "board/hex.h"

namespace vrq::ui {

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace

unsigned ParseHexText(std::string_view text) {
    constexpr unsigned kMax = std::numeric_limits<unsigned>::max();
    unsigned value = 0;
    for (const char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            break;
        }
        if (value > (kMax >> 4)) {
            return kMax;
        }
        value = (value << 4) | static_cast<unsigned>(digit);
    }
    return value;
}

std::optional<std::uint8_t> ParseBoxByte(std::string_view text) {
    const unsigned value = ParseHexText(text);
    if (value > 0xFF) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(value);
}

bool IsHexByteText(std::string_view text) {
    if (text.empty() || text.size() > 2) {
        return false;
    }
    for (const char c : text) {
        if (HexDigitValue(c) < 0) {
            return false;
        }
    }
    return true;
}

bool IsRegisterBoxText(std::string_view text) {
    return text.empty() || IsHexByteText(text);
}

std::string ByteText(std::uint8_t value) {
    return board::ByteToHex(value);
}

}  // namespace vrq::ui
