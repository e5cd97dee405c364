#include "board/hex.h"

namespace vrq::board {

std::string ByteToHex(std::uint8_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::uint8_t AddToByte(std::uint8_t value, std::int16_t step) {
    return static_cast<std::uint8_t>((value + step) & 0xFF);
}

}  // namespace vrq::board
