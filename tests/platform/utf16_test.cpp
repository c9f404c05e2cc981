#include "platform/utf16.h"

#include <gtest/gtest.h>

namespace kitra::platform {
namespace {

TEST(Utf16, WellFormedTextGoesBothWaysUnchanged) {
    const std::string text =
        "bios.bin \xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";  // é, 日本, 😀
    const std::u16string wide = to_utf16(text);
    EXPECT_EQ(wide, u"bios.bin \u00E9t\u00E9 \u65E5\u672C \U0001F600");
    EXPECT_EQ(to_utf8(wide), text);
    EXPECT_EQ(to_utf16(""), u"");
}

TEST(Utf16, BytesOfNoUtf8SequenceStandForTheirLatin1Characters) {
    // A lone lead byte, a stray continuation, an overlong "/", an encoded
    // surrogate, a value past U+10FFFF, a sequence cut by the end.
    EXPECT_EQ(to_utf16("a\xC3z"), u"a\u00C3z");
    EXPECT_EQ(to_utf16("\x81"), u"\u0081");
    EXPECT_EQ(to_utf16("\xC0\xAF"), u"\u00C0\u00AF");
    EXPECT_EQ(to_utf16("\xED\xA0\x80"), u"\u00ED\u00A0\u0080");
    EXPECT_EQ(to_utf16("\xF4\x90\x80\x80"), u"\u00F4\u0090\u0080\u0080");
    EXPECT_EQ(to_utf16("x\xE6\x97"), u"x\u00E6\u0097");
}

TEST(Utf16, UnpairedSurrogatesBecomeTheReplacementCharacter) {
    EXPECT_EQ(to_utf8(std::u16string{u'a', char16_t(0xD800), u'b'}),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(to_utf8(std::u16string{char16_t(0xDC00)}), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace kitra::platform
