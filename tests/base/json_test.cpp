#include "base/json.h"

#include <gtest/gtest.h>

#include "base/fatal.h"

namespace kitra::base {
namespace {

TEST(Json, NestedDocumentIsIndentedOneMemberALine) {
    JsonWriter w;
    w.begin_object()
        .member("schema", "kitra-test/1")
        .member("offset", std::uint64_t{65536})
        .member("delta", std::int64_t{-2})
        .member("sound", true)
        .key("none")
        .null()
        .key("empty")
        .begin_array()
        .end_array()
        .key("list")
        .begin_array()
        .value(1)
        .begin_object()
        .member("type_id", hex_text(0x4080, 4))
        .end_object()
        .end_array()
        .end_object();
    EXPECT_EQ(w.text(),
              "{\n"
              "  \"schema\": \"kitra-test/1\",\n"
              "  \"offset\": 65536,\n"
              "  \"delta\": -2,\n"
              "  \"sound\": true,\n"
              "  \"none\": null,\n"
              "  \"empty\": [],\n"
              "  \"list\": [\n"
              "    1,\n"
              "    {\n"
              "      \"type_id\": \"4080\"\n"
              "    }\n"
              "  ]\n"
              "}\n");
}

// Bytes from an image are data: each byte is the code point of its value.
TEST(Json, StringsKeepEveryByteAndPrintNoneRaw) {
    EXPECT_EQ(json_string(std::string_view("a\"b\\c\x07\r\n\x1B\x7F\x9B\xFF\0z", 14)),
              "\"a\\\"b\\\\c\\u0007\\u000D\\u000A\\u001B\\u007F\\u009B\\u00FF\\u0000z\"");
}

TEST(Json, UnfinishedOrSecondDocumentIsAnInternalError) {
    JsonWriter open;
    open.begin_object();
    EXPECT_THROW((void)open.text(), Fatal);
    JsonWriter twice;
    twice.value(1);
    EXPECT_THROW(twice.value(2), Fatal);
    JsonWriter closed;
    EXPECT_THROW(closed.end_array(), Fatal);
}

}  // namespace
}  // namespace kitra::base
