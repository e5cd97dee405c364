#include "margin/json_reader.h"

#include <charconv>
#include <cstdlib>

namespace vrq::margin {

namespace {

constexpr int kDeepest = 64;

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<JsonValue> Document(std::string& error) {
        JsonValue value;
        if (!Value(value, 0)) {
            error = why_ + " at character " + std::to_string(at_);
            return std::nullopt;
        }
        Blanks();
        if (at_ != text_.size()) {
            error = "text after the document at character " + std::to_string(at_);
            return std::nullopt;
        }
        return value;
    }

  private:
    bool Fail(const char* why) {
        why_ = why;
        return false;
    }
    void Blanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }
    bool Word(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) {
            return Fail("unknown word");
        }
        at_ += word.size();
        return true;
    }
    bool String(std::string& out) {
        ++at_;  // the quote
        while (at_ < text_.size() && text_[at_] != '"') {
            char c = text_[at_++];
            if (c == '\\') {
                if (at_ >= text_.size()) {
                    break;
                }
                const char e = text_[at_++];
                switch (e) {
                    case 'n':
                        c = '\n';
                        break;
                    case 't':
                        c = '\t';
                        break;
                    case 'r':
                        c = '\r';
                        break;
                    case 'b':
                        c = '\b';
                        break;
                    case 'f':
                        c = '\f';
                        break;
                    case 'u': {
                        unsigned code = 0;
                        const auto hex = text_.substr(at_, 4);
                        const auto [end, ec] =
                            std::from_chars(hex.data(), hex.data() + hex.size(), code, 16);
                        if (hex.size() != 4 || ec != std::errc() || end != hex.data() + 4) {
                            return Fail("bad \\u escape");
                        }
                        at_ += 4;
                        // Our documents escape control characters only: one byte each.
                        c = code < 0x80 ? static_cast<char>(code) : '?';
                        break;
                    }
                    default:
                        c = e;
                }
            }
            out += c;
        }
        if (at_ >= text_.size()) {
            return Fail("unterminated string");
        }
        ++at_;
        return true;
    }
    bool Number(double& out) {
        const std::size_t start = at_;
        while (at_ < text_.size() &&
               std::string_view("+-.0123456789eE").find(text_[at_]) != std::string_view::npos) {
            ++at_;
        }
        const std::string number(text_.substr(start, at_ - start));
        char* end = nullptr;
        out = std::strtod(number.c_str(), &end);
        if (number.empty() || end != number.c_str() + number.size()) {
            return Fail("bad number");
        }
        return true;
    }
    bool Value(JsonValue& out, int depth) {
        if (depth > kDeepest) {
            return Fail("nested too deep");
        }
        Blanks();
        if (at_ >= text_.size()) {
            return Fail("document ends early");
        }
        const char c = text_[at_];
        if (c == '{') {
            ++at_;
            JsonValue::Object object;
            Blanks();
            if (at_ < text_.size() && text_[at_] == '}') {
                ++at_;
                out.value = std::move(object);
                return true;
            }
            for (;;) {
                Blanks();
                std::string key;
                if (at_ >= text_.size() || text_[at_] != '"' || !String(key)) {
                    return why_.empty() ? Fail("a member name expected") : false;
                }
                Blanks();
                if (at_ >= text_.size() || text_[at_++] != ':') {
                    return Fail("':' expected");
                }
                if (!Value(object[key], depth + 1)) {
                    return false;
                }
                Blanks();
                if (at_ < text_.size() && text_[at_] == ',') {
                    ++at_;
                    continue;
                }
                if (at_ < text_.size() && text_[at_] == '}') {
                    ++at_;
                    break;
                }
                return Fail("',' or '}' expected");
            }
            out.value = std::move(object);
            return true;
        }
        if (c == '[') {
            ++at_;
            JsonValue::Array array;
            Blanks();
            if (at_ < text_.size() && text_[at_] == ']') {
                ++at_;
                out.value = std::move(array);
                return true;
            }
            for (;;) {
                array.emplace_back();
                if (!Value(array.back(), depth + 1)) {
                    return false;
                }
                Blanks();
                if (at_ < text_.size() && text_[at_] == ',') {
                    ++at_;
                    continue;
                }
                if (at_ < text_.size() && text_[at_] == ']') {
                    ++at_;
                    break;
                }
                return Fail("',' or ']' expected");
            }
            out.value = std::move(array);
            return true;
        }
        if (c == '"') {
            std::string text;
            if (!String(text)) {
                return false;
            }
            out.value = std::move(text);
            return true;
        }
        if (c == 't' || c == 'f') {
            out.value = c == 't';
            return Word(c == 't' ? "true" : "false");
        }
        if (c == 'n') {
            out.value = nullptr;
            return Word("null");
        }
        double number = 0;
        if (!Number(number)) {
            return false;
        }
        out.value = number;
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::string why_;
};

}  // namespace

const JsonValue* JsonValue::Member(std::string_view name) const {
    const auto* object = std::get_if<Object>(&value);
    if (object == nullptr) {
        return nullptr;
    }
    const auto found = object->find(name);
    return found == object->end() ? nullptr : &found->second;
}

std::optional<JsonValue> ParseJson(std::string_view text, std::string& error) {
    return Parser(text).Document(error);
}

}  // namespace vrq::margin
