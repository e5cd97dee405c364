// A small JSON writer for the tool's --json output: one compact document, strings escaped as
// RFC 8259 asks and kept valid UTF-8 whatever bytes they came with (a device path may hold
// any). Commas and nesting are the writer's business, not the caller's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vrq::cli {

class Json {
  public:
    Json& BeginObject();
    Json& EndObject();
    Json& BeginArray();
    Json& EndArray();
    // The name of the next member of the object being written.
    Json& Key(std::string_view key);

    Json& String(std::string_view text);
    Json& Int(long long value);
    // At most decimals digits after the point, trailing zeros dropped ("100", "1714.286").
    Json& Real(double value, int decimals);
    Json& Bool(bool value);
    Json& Null();

    // The document and a line end.
    std::string Document() const { return text_ + "\n"; }

  private:
    void BeforeValue();
    Json& Open(char bracket);
    Json& Close(char bracket);

    std::string text_;
    std::vector<bool> empty_;  // per open object or array: nothing in it yet
    bool afterKey_ = false;
};

// text as a quoted JSON string: quote, backslash and control characters escaped, bytes that are
// not UTF-8 replaced by U+FFFD.
std::string JsonString(std::string_view text);

}  // namespace vrq::cli
