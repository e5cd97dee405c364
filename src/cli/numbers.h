// The numbers of a command line, checked before any board is touched: plain functions with
// the tool's messages, so that a typing slip is refused as such.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "board/register_transfer.h"

namespace vrq::cli {

// "0x44", "0X44" or decimal "68"; nothing for anything else (empty, signs, blanks, other
// digits) or a value above max.
std::optional<unsigned> ParseNumber(std::string_view text, unsigned max);

// A number the command line names: what it is called and the range it must lie in.
struct NumberRule {
    std::string_view name;  // "COUNT", "--timeout"
    unsigned min = 0;
    unsigned max = 0;
    bool hex = false;  // the range is said in hexadecimal (registers, values, addresses)
};

// The number, or nothing with error set to "COUNT must be 1 to 62 (0x for hexadecimal), not
// '99'".
std::optional<unsigned> ParseArgument(const NumberRule& rule, std::string_view text,
                                      std::string& error);
inline std::optional<std::uint8_t> ParseByteArgument(std::string_view name, std::string_view text,
                                                     std::string& error) {
    const auto value = ParseArgument({name, 0x00, 0xFF, true}, text, error);
    return value ? std::optional<std::uint8_t>(static_cast<std::uint8_t>(*value)) : std::nullopt;
}

// "0x4A": the tool's way of showing an address or register.
std::string Hex(unsigned value);

// "" when count registers from first end at register 0xFF or below; otherwise the refusal.
std::string RunPastLastRegister(unsigned first, std::size_t count);

using board::IsReservedAddress;
using board::kFirstUsualAddress;
using board::kLastUsualAddress;

// The bus clock in kHz a divider gives from a base clock in MHz (divider 0 counts as 256).
double BusKhz(unsigned baseMHz, unsigned divider);
// "100", "1714.3": whole kilohertz when exact, one decimal otherwise.
std::string KhzText(double khz);
// The divider 1..255 whose bus clock is nearest to khz; of two equally near, the slower.
unsigned NearestDivider(unsigned baseMHz, double khz);

}  // namespace vrq::cli
