#pragma once

#include <cstdint>
#include <string>

namespace vrq::board {

// Two upper-case hex digits, leading zero below 0x10 ("0A", "C8").
std::string ByteToHex(std::uint8_t value);

// (value + step) modulo 256: 0xFF + 1 is 0x00, 0x00 - 1 is 0xFF.
std::uint8_t AddToByte(std::uint8_t value, std::int16_t step);

}  // namespace vrq::board
