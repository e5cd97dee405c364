#include "device/register_decoder.h"

#include <array>
#include <string_view>
#include <utility>

#include "device/register_map.h"

namespace vrq::device {
namespace {

constexpr unsigned kPllReservedPattern = 0b000100;
constexpr std::array<std::string_view, 4> kTestPatterns{"off", "PRBS7", "low-frequency pattern",
                                                        "high-frequency pattern"};
constexpr std::array<std::string_view, 4> kPllBandwidths{"4 MHz", "2 MHz", "1 MHz", "100 kHz"};

std::string OneOf(unsigned v, std::string_view zero, std::string_view one) {
    return std::string(v == 0 ? zero : one);
}

// 125 uA steps, shown in mA without trailing zeros: "0 mA", "0.375 mA", "10.5 mA".
std::string Milliamps(unsigned microamps) {
    std::string text = std::to_string(microamps / 1000);
    if (unsigned frac = microamps % 1000; frac != 0) {
        std::string digits = std::to_string(frac);
        digits.insert(0, 3 - digits.size(), '0');
        while (digits.back() == '0') {
            digits.pop_back();
        }
        text += '.' + digits;
    }
    return text + " mA";
}

std::string Binary(unsigned v, int width) {
    std::string text;
    for (int bit = width - 1; bit >= 0; --bit) {
        text += ((v >> bit) & 1U) != 0 ? '1' : '0';
    }
    return text;
}

std::string ChannelLetter(unsigned v) {
    return std::string("channel ") + "ABCD"[v & 3U];
}

std::string Boost(unsigned v) {
    if (v == 0) {
        return "minimum boost";
    }
    if (v == 0xF) {
        return "maximum boost";
    }
    return "boost step " + std::to_string(v) + " of 15";
}

std::string ErrorCount(unsigned v) {
    if (v == 0xFF) {
        return "255 errors (saturated)";
    }
    return std::to_string(v) + (v == 1 ? " error" : " errors");
}

std::string Meaning(std::uint8_t address, const BitField& field, unsigned v) {
    if (field.name == "Not used") {
        return {};
    }
    const unsigned low = field.low;
    switch (address) {
        case 0x00:
            if (low == 4) {
                return v == 3 ? "VRQ66200" : "unknown device";
            }
            if (v == 0) {
                return "unknown revision";
            }
            return v == 1 ? "initial silicon" : v == 2 ? "first revision" : "later revision";
        case 0x01:
            return OneOf(v, "no clock", "clock present");
        case 0x02:
            switch (low) {
                case 5:
                    return OneOf(v, "normal operation", "powered down");
                case 4:
                    return OneOf(v, "normal", "reset in progress");
                case 3:
                    return OneOf(v, "by bits 2:0", "by pins");
                case 2:
                    return OneOf(v, "by bits 1:0", "automatic, priority A to D");
                default:
                    return ChannelLetter(v);
            }
        case 0x03:
            switch (low) {
                case 7:
                    return OneOf(v, "idle", "recalibrating");
                case 6:
                    return OneOf(v, "10 mV", "20 mV");
                case 5:
                case 4:
                    return OneOf(v, "off", "on");
                default:
                    return OneOf(v, "terminated", "tri-stated");
            }
        case 0x04:
            return OneOf(v, "50 ohms (standard mode)", "100 ohms (crosspoint mode)");
        case 0x05:
            switch (low) {
                case 3:
                    return OneOf(v, "normal order", "crossed order");
                case 2:
                    return OneOf(v, "normal", "inverted");
                default:
                    return OneOf(v, "normal", "tri-stated");
            }
        case 0x06:
            return Milliamps((low == 4 ? 0U : 10000U) + 125U * v);
        case 0x07:
        case 0x08:
            return Boost(v);
        case 0x09:
            if (low == 2) {
                return OneOf(v, "off", "on");
            }
            return std::string(kTestPatterns[v & 3U]);
        case 0x0A:
        case 0x0B:
        case 0x0C:
            return ErrorCount(v);
        case 0x10:
            if (low == 2) {
                return Binary(v, 6) + (v == kPllReservedPattern
                                           ? ", as required"
                                           : ", must be " + Binary(kPllReservedPattern, 6));
            }
            return std::string(kPllBandwidths[v & 3U]);
        default:
            return {};
    }
}

std::string HexDigitsUpper(unsigned v) {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[v & 0xFU]);
        v >>= 4;
    } while (v != 0);
    return text;
}

}  // namespace

std::vector<DecodedField> DecodeRegister(std::uint8_t address, std::uint8_t value) {
    std::vector<DecodedField> decoded;
    const RegisterInfo* info = FindRegister(address);
    if (info == nullptr) {
        return decoded;
    }
    for (const BitField& field : info->fields) {
        const unsigned width = field.high - field.low + 1U;
        const unsigned v = (value >> field.low) & ((1U << width) - 1U);
        DecodedField d;
        d.bits = std::to_string(field.high);
        if (field.high != field.low) {
            d.bits += ':' + std::to_string(field.low);
        }
        d.name = std::string(field.name);
        d.value = v;
        d.meaning = Meaning(address, field, v);
        d.flagged = address == 0x10 && field.low == 2 && v != kPllReservedPattern;
        decoded.push_back(std::move(d));
    }
    return decoded;
}

std::string DescribeRegister(std::uint8_t address, std::uint8_t value) {
    std::string text;
    for (const DecodedField& d : DecodeRegister(address, value)) {
        if (!text.empty()) {
            text += '\n';
        }
        text += d.bits + ' ' + d.name + " = ";
        text += d.bits.find(':') == std::string::npos ? std::to_string(d.value)
                                                      : "0x" + HexDigitsUpper(d.value);
        if (!d.meaning.empty()) {
            text += ": " + d.meaning;
        }
    }
    return text;
}

}  // namespace vrq::device
