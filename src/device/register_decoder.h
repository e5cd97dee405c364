// Reads a register value field by field, in words: for tool tips and the command-line tool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vrq::device {

struct DecodedField {
    std::string bits;     // "7:4" or "5"
    std::string name;     // "Transmit PreEmphasis"
    unsigned value;       // the field's value
    std::string meaning;  // "0.375 mA", "100 kHz", "off", "channel A" ...; "" for unused bits
    bool flagged;         // value differs from what must be kept (reserved bits of 0x10)
};

// The value's fields, most significant first; empty for registers without fields.
std::vector<DecodedField> DecodeRegister(std::uint8_t address, std::uint8_t value);

// One line per field, e.g. "7:4 Transmit PreEmphasis = 0x3: 0.375 mA"; single bits show their
// value as 0 or 1, wider fields in hexadecimal. Lines are joined with '\n' (none after the last).
// Empty for registers without fields.
std::string DescribeRegister(std::uint8_t address, std::uint8_t value);

}  // namespace vrq::device
