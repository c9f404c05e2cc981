// Reading the JSON documents kitra writes, after a person may have edited
// them (the manifest of an unpacked image). The conventions are the
// writer's (base/json.h) read back:
//
// - A string is bytes: each byte of the text stands for itself, and
//   "\u00XX" for the byte XX, so a stored name written with its control
//   bytes escaped comes back byte for byte. An escape above \u00FF names no
//   byte and is refused.
// - Numbers are whole numbers of 0 or more (offsets, sizes, type IDs): a
//   sign, a fraction or an exponent is refused rather than rounded.
//
// Malformed text is refused with the line and column where it goes wrong;
// nesting is bounded, so a crafted document cannot exhaust the stack.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kitra::base {

struct JsonValue {
    enum class Type : std::uint8_t { kNull, kBool, kNumber, kString, kArray, kObject };
    Type type = Type::kNull;
    bool truth = false;
    std::uint64_t number = 0;
    std::string text;
    // An array's elements; an object's member values, in the document's
    // order, their names beside them in `names`.
    std::vector<JsonValue> items;
    std::vector<std::string> names;

    // The member named `name` of an object; nullptr when there is none.
    const JsonValue* find(std::string_view name) const;
};

// Objects and arrays nest at most this deep.
constexpr int kMaxJsonDepth = 32;

// The document in `text`, or why it is not one ("line 3, column 7: ...").
std::variant<JsonValue, std::string> parse_json(std::string_view text);

// "a number", "a string", ...: how refusals name what they found.
const char* json_type_name(JsonValue::Type type);

}  // namespace kitra::base
