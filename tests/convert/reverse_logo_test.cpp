// Extracted logos back into BMP files: exact bytes for widths that are whole
// groups of 8 pixels, BMPs with their own row stride for other widths.
#include "convert/reverse_logo.h"

#include <gtest/gtest.h>

#include "support/byte_literals.h"

namespace kitra::convert {
namespace {

using base::Bytes;
using testing::bytes;
using testing::text;
using testing::operator+;

// The 54 header bytes of the BMP the reverse conversion writes.
Bytes bmp_header(int file_size, int pixel_offset, int width, int height, int bits, int image_size) {
    Bytes h = text("BM");
    for (int v : {file_size, 0, pixel_offset, 40, width, height})
        h = h + bytes({v & 0xFF, v >> 8 & 0xFF, v >> 16 & 0xFF, v >> 24 & 0xFF});
    h = h + bytes({1, 0, bits, 0, 0, 0, 0, 0});
    h = h + bytes({image_size & 0xFF, image_size >> 8 & 0xFF, 0, 0, 0xC4, 0x0E, 0, 0, 0xC4, 0x0E, 0, 0});
    return h + Bytes(8, 0);
}

// A 16-colour trailer whose entry i is blue i, green i + 16, red i + 32, and
// the BMP palette it gives back.
Bytes trailer16() {
    Bytes t = text("RGB ");
    for (int i = 0; i < 16; ++i) t = t + bytes({i, i + 16, i + 32});
    return t;
}
Bytes palette16() {
    Bytes p;
    for (int i = 0; i < 16; ++i) p = p + bytes({4 * i, 4 * (i + 16), 4 * (i + 32), 0});
    return p;
}
// A 256-colour trailer (red, green, blue) and its BMP palette (blue, green, red).
Bytes trailer256(std::string_view mark = "RGB ") {
    Bytes t = text(mark);
    for (int i = 0; i < 256; ++i) t = t + bytes({i & 63, 1, 2});
    return t;
}
Bytes palette256() {
    Bytes p;
    for (int i = 0; i < 256; ++i) p = p + bytes({8, 4, (i & 63) * 4, 0});
    return p;
}

TEST(ReverseLogo, SixteenColoursComeBackFromTheirPlanes) {
    // Indices 0 1 2 3 4 5 6 15 as planes.
    const Bytes logo = text("MVBM") + bytes({8, 0, 1, 0, 0x55, 0x33, 0x0F, 0x01}) + trailer16();
    EXPECT_EQ(reverse_logo(logo),
              bmp_header(122, 118, 8, 1, 4, 4) + palette16() + bytes({0x01, 0x23, 0x45, 0x6F}));
}

TEST(ReverseLogo, TwoHundredFiftySixColoursComeBackBottomRowFirst) {
    const Bytes rows = bytes({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
    const Bytes expected = bmp_header(1094, 1078, 8, 2, 8, 16) + palette256() +
                           bytes({8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(reverse_logo(text("MVBM") + bytes({8, 0, 2, 0}) + rows + trailer256()), expected);
    EXPECT_EQ(reverse_logo(text("MVBM") + bytes({8, 0, 2, 0}) + rows + trailer256("rgb ")), expected);
}

TEST(ReverseLogo, WidthsOfPartialGroupsGiveRowsOfTheirOwnStride) {
    // 3 pixels: 8-byte rows in the logo, 4-byte rows in the BMP.
    const Bytes wide = text("MVBM") + bytes({3, 0, 2, 0, 1, 2, 3, 0, 0, 0, 0, 0, 4, 5, 6, 0, 0, 0, 0, 0});
    EXPECT_EQ(reverse_logo(wide + trailer256()),
              bmp_header(1086, 1078, 3, 2, 8, 8) + palette256() + bytes({4, 5, 6, 0, 1, 2, 3, 0}));
    // Indices 1 2 15 in planes of one partial group.
    const Bytes narrow = text("MVBM") + bytes({3, 0, 1, 0, 0xA0, 0x60, 0x20, 0x20});
    EXPECT_EQ(reverse_logo(narrow + trailer16()),
              bmp_header(122, 118, 3, 1, 4, 4) + palette16() + bytes({0x12, 0xF0, 0, 0}));
}

TEST(ReverseLogo, ContentsThatAreNoFirmwareBitmapAreLeftAlone) {
    const Bytes logo = text("MVBM") + bytes({8, 0, 1, 0, 0x55, 0x33, 0x0F, 0x01}) + trailer16();
    EXPECT_EQ(reverse_logo(Bytes(logo.begin(), logo.end() - 1)), std::nullopt);  // palette cut short
    EXPECT_EQ(reverse_logo(text("MVBM") + bytes({8, 0, 0, 0}) + trailer16()), std::nullopt);  // no rows
    EXPECT_EQ(reverse_logo(text("MVBM") + bytes({0xFF, 0xFF, 0xFF, 0xFF}) + trailer256()), std::nullopt);
    EXPECT_EQ(reverse_logo(text("MVB")), std::nullopt);
}

}  // namespace
}  // namespace kitra::convert
