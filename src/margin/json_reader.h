// A small JSON reader for the link-margin documents this program writes: values parsed into a
// tree, numbers as double. Enough to read a saved sweep back; not a general-purpose library.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vrq::margin {

struct JsonValue {
    using Array = std::vector<JsonValue>;
    using Object = std::map<std::string, JsonValue, std::less<>>;
    std::variant<std::nullptr_t, bool, double, std::string, Array, Object> value;

    bool IsNull() const { return std::holds_alternative<std::nullptr_t>(value); }
    const double* Number() const { return std::get_if<double>(&value); }
    const bool* Bool() const { return std::get_if<bool>(&value); }
    const std::string* String() const { return std::get_if<std::string>(&value); }
    const Array* Items() const { return std::get_if<Array>(&value); }
    // A member of an object; null when this is no object or has no such member.
    const JsonValue* Member(std::string_view name) const;
};

// The document, or nullopt with where and why in error.
std::optional<JsonValue> ParseJson(std::string_view text, std::string& error);

}  // namespace vrq::margin
