// The JSON reader: what the writer writes comes back byte for byte, and
// malformed or unsupported text is refused with its line and column.
#include "base/json_reader.h"

#include <gtest/gtest.h>

#include "base/json.h"

namespace kitra::base {
namespace {

TEST(JsonReader, ReadsWhatTheWriterWrites) {
    const std::string name("a\"b\\c\x01\x7F\xE9\x9B", 8);
    JsonWriter w;
    w.begin_object().member("name", std::string_view(name)).member("n", std::uint64_t{18446744073709551615u});
    w.key("list").begin_array().value(true).value(false).null().begin_object().end_object().end_array();
    w.end_object();
    const auto parsed = parse_json(w.text());
    ASSERT_TRUE(std::holds_alternative<JsonValue>(parsed)) << std::get<std::string>(parsed);
    const JsonValue& v = std::get<JsonValue>(parsed);
    EXPECT_EQ(v.find("name")->text, name);
    EXPECT_EQ(v.find("n")->number, 18446744073709551615u);
    const JsonValue& list = *v.find("list");
    ASSERT_EQ(list.items.size(), 4u);
    EXPECT_TRUE(list.items[0].truth);
    EXPECT_EQ(list.items[2].type, JsonValue::Type::kNull);
    EXPECT_EQ(list.items[3].type, JsonValue::Type::kObject);
    EXPECT_EQ(v.find("missing"), nullptr);
    // Raw bytes of UTF-8 and the short escapes are taken too.
    EXPECT_EQ(std::get<JsonValue>(parse_json("\"\xC3\xA9\\n\\/\"")).text, "\xC3\xA9\n/");
}

TEST(JsonReader, RefusesWithLineAndColumn) {
    const struct {
        std::string text;
        std::string reason;
    } cases[] = {
        {"{\"a\": 1,\n \"a\": 2}", "line 2, column 2: the member \"a\" appears twice"},
        {"[1, -2]", "line 1, column 5: a negative number; only whole numbers of 0 or more are taken"},
        {"1.5", "line 1, column 2: a number that is not whole; only whole numbers of 0 or more are taken"},
        {"012", "line 1, column 1: a number with a leading zero"},
        {"18446744073709551616", "line 1, column 20: a number too large"},
        {"\"\\u0100\"", "line 1, column 2: \\u0100 names no byte: strings hold bytes, \\u0000 to \\u00FF"},
        {"\"a\tb\"", "line 1, column 3: a control byte inside a string (write it as \\u00XX)"},
        {"\"abc", "line 1, column 5: a string that does not end"},
        {"{} x", "line 1, column 4: text after the document's end"},
        {"{\"a\" 1}", "line 1, column 6: ':' expected"},
        {"", "line 1, column 1: the document ends where a value was expected"},
        {std::string(40, '['), "line 1, column 33: nested more than 32 deep"},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_json(c.text);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << c.text;
        EXPECT_EQ(std::get<std::string>(parsed), c.reason) << c.text;
    }
}

}  // namespace
}  // namespace kitra::base
