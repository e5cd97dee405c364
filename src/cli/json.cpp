#include "cli/json.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace vrq::cli {
namespace {

// The length of the well-formed UTF-8 sequence at the start of text, 0 when there is none
// (stray continuation bytes, overlong forms, surrogates, values past U+10FFFF, cut short).
std::size_t Utf8Length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    while (!text.empty()) {
        const char c = text.front();
        const std::size_t length = Utf8Length(text);
        if (length == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD for the byte that is not UTF-8
            text.remove_prefix(1);
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    out.append(text.substr(0, length));
                }
        }
        text.remove_prefix(length);
    }
    return out + "\"";
}

void Json::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!empty_.empty()) {
        if (!empty_.back()) {
            text_ += ',';
        }
        empty_.back() = false;
    }
}

Json& Json::Open(char bracket) {
    BeforeValue();
    text_ += bracket;
    empty_.push_back(true);
    return *this;
}

Json& Json::Close(char bracket) {
    text_ += bracket;
    empty_.pop_back();
    return *this;
}

Json& Json::BeginObject() {
    return Open('{');
}
Json& Json::EndObject() {
    return Close('}');
}
Json& Json::BeginArray() {
    return Open('[');
}
Json& Json::EndArray() {
    return Close(']');
}

Json& Json::Key(std::string_view key) {
    BeforeValue();
    text_ += JsonString(key);
    text_ += ':';
    afterKey_ = true;
    return *this;
}

Json& Json::String(std::string_view text) {
    BeforeValue();
    text_ += JsonString(text);
    return *this;
}

Json& Json::Int(long long value) {
    BeforeValue();
    text_ += std::to_string(value);
    return *this;
}

Json& Json::Real(double value, int decimals) {
    if (!std::isfinite(value)) {
        return Null();  // JSON has no infinities
    }
    BeforeValue();
    char number[64];
    std::snprintf(number, sizeof number, "%.*f", decimals, value);
    std::string text = number;
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') {
            text.pop_back();
        }
    }
    text_ += text == "-0" ? "0" : text;
    return *this;
}

Json& Json::Bool(bool value) {
    BeforeValue();
    text_ += value ? "true" : "false";
    return *this;
}

Json& Json::Null() {
    BeforeValue();
    text_ += "null";
    return *this;
}

}  // namespace vrq::cli
