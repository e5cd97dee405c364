// The window's hexadecimal text conventions, shared by every box that holds a register
// address or value. A byte is shown as two upper-case digits (board::ByteToHex); a box's text
// is read as hexadecimal: its leading hex digits, upper or lower case, up to the first other
// character; an empty text is 0. No Qt here, so the rules are testable on their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vrq::ui {

// The number given by the leading hex digits of text ("3F" 0x3F, "c" 0x0C, "5x" 5, "" 0,
// "G1" 0, "100" 0x100, "FFFF" 0xFFFF). Texts beyond the range of unsigned give its maximum.
unsigned ParseHexText(std::string_view text);

// ParseHexText as a byte, or nothing when the number exceeds 0xFF ("100", "FFFF").
std::optional<std::uint8_t> ParseBoxByte(std::string_view text);

// True for exactly one or two hex digits ("5", "0c", "FF"); false for "", "G1", "100", "5 ".
// The test that text typed or pasted into a box is a byte and nothing else.
bool IsHexByteText(std::string_view text);

// What a register box may hold: empty (the value 0) or one or two hex digits.
bool IsRegisterBoxText(std::string_view text);

// Two upper-case hex digits: board::ByteToHex, here too so the window needs one include.
std::string ByteText(std::uint8_t value);

}  // namespace vrq::ui
