// Text from an image made safe to show: every control byte, of the C0 and
// the C1 sets, becomes "?"; everything else is shown as it is.
#include "base/text.h"

#include <gtest/gtest.h>

namespace kitra::base {
namespace {

TEST(Printable, EveryControlByteIsShownAsQuestionMark) {
    const std::pair<std::string, std::string> cases[] = {
        {"vga.rom", "vga.rom"},
        {std::string("a\0b", 3), "a?b"},
        {"bell\a cr\r lf\n tab\t esc\x1b del\x7f", "bell? cr? lf? tab? esc? del?"},
        {"\x80\x9b\x9f", "???"},                         // C1: 0x9B starts a sequence on 8-bit terminals
        {"\xa0\xc3\xa9 ~ \xff", "\xa0\xc3\xa9 ~ \xff"},  // printable bytes stay
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(printable(text), shown) << text;
}

}  // namespace
}  // namespace kitra::base
