// The program's one set of hexadecimal text helpers, for every layer: a byte shown as two
// upper-case digits, a number as its fewest digits, and hex text read as the windows, the
// register file and the register decoder need it. No Qt, so any layer may use it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vrq::board {

// Two upper-case hex digits, leading zero below 0x10 ("0A", "C8").
std::string ByteToHex(std::uint8_t value);

// "0x0C": a register, an address or a byte as every text of the program writes one.
std::string Hex0x(std::uint8_t value);

// The fewest upper-case hex digits that give value ("0", "A", "14", "1FF").
std::string HexDigits(unsigned value);

// The value of one hex digit, upper or lower case; nothing for any other character.
std::optional<std::uint8_t> HexDigitValue(char c);

// The number given by the leading hex digits of text, as a box's text prefixed with "&H" is
// read ("3F" 0x3F, "c" 0x0C, "5x" 5, "" 0, "G1" 0, "100" 0x100). Texts beyond the range of
// unsigned give its maximum.
unsigned ParseHexText(std::string_view text);

// True for exactly one or two hex digits ("5", "0c", "FF"); false for "", "G1", "100", "5 ".
bool IsHexByteText(std::string_view text);

// (value + step) modulo 256: 0xFF + 1 is 0x00, 0x00 - 1 is 0xFF.
std::uint8_t AddToByte(std::uint8_t value, std::int16_t step);

}  // namespace vrq::board
