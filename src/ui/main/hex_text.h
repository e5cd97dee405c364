// The window's hexadecimal text conventions on top of board/hex.h: a byte is shown as two
// upper-case digits; a box's text is read as hexadecimal (its leading hex digits, upper or
// lower case; an empty text is 0).
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace vrq::ui {

// A byte as a box shows it: two upper-case hex digits.
QString HexText(std::uint8_t value);

// board::ParseHexText as a byte, or nothing when the number exceeds 0xFF ("100", "FFFF").
std::optional<std::uint8_t> ParseBoxByte(std::string_view text);

// What a register box may hold: empty (the value 0) or one or two hex digits.
bool IsRegisterBoxText(std::string_view text);

}  // namespace vrq::ui
