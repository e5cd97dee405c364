#include "device/register_decoder.h"

#include <span>
#include <string_view>
#include <utility>

#include "board/hex.h"
#include "device/register_map.h"

namespace vrq::device {
namespace {

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

std::string Binary(unsigned v, unsigned width) {
    std::string text;
    for (unsigned bit = width; bit-- > 0;) {
        text += ((v >> bit) & 1U) != 0 ? '1' : '0';
    }
    return text;
}

// The text of the range that holds v, with "{}" as v in decimal.
std::string TextFor(std::span<const ValueText> texts, unsigned v) {
    std::string_view text;
    for (const ValueText& range : texts) {
        if (range.from <= v) {
            text = range.text;
        }
    }
    std::string result(text);
    if (const auto at = result.find("{}"); at != std::string::npos) {
        result.replace(at, 2, std::to_string(v));
    }
    return result;
}

std::string Meaning(const BitField& field, unsigned v) {
    const FieldMeaning& meaning = field.meaning;
    switch (meaning.kind) {
        case MeaningKind::None:
            return {};
        case MeaningKind::Texts:
            return TextFor(meaning.texts, v);
        case MeaningKind::Current:
            return Milliamps(meaning.zeroMicroamps + meaning.stepMicroamps * v);
        case MeaningKind::Required: {
            const unsigned width = field.high - field.low + 1U;
            return Binary(v, width) + (v == meaning.required
                                           ? ", as required"
                                           : ", must be " + Binary(meaning.required, width));
        }
    }
    return {};
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
        d.meaning = Meaning(field, v);
        d.flagged = field.meaning.kind == MeaningKind::Required && v != field.meaning.required;
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
                                                      : "0x" + board::HexDigits(d.value);
        if (!d.meaning.empty()) {
            text += ": " + d.meaning;
        }
    }
    return text;
}

}  // namespace vrq::device
