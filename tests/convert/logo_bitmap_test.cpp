// BMP pictures into firmware bitmaps: exact bytes for each conversion, and
// the pictures that are refused.
#include "convert/logo_bitmap.h"

#include <gtest/gtest.h>

#include "convert/bottom_strip.h"
#include "support/bmp_writer.h"
#include "support/byte_literals.h"

namespace kitra::convert {
namespace {

using base::Bytes;
using cli::Bitmap;
using testing::bytes;
using testing::Picture;
using testing::repeat;
using testing::text;
using testing::write_bmp;
using testing::operator+;

BitmapSettings flags(std::uint8_t logo_flags) {
    BitmapSettings s;
    s.logo_flags = logo_flags;
    return s;
}
BitmapSettings no_reserve() {
    BitmapSettings s;
    s.no_reserve = true;
    return s;
}

Picture picture(std::int32_t width, std::int32_t height, std::uint16_t bits) {
    Picture s;
    s.width = width;
    s.height = height;
    s.bits = bits;
    return s;
}

Bytes converted(Bitmap conversion, const Bytes& bmp, BitmapSettings settings = {}) {
    auto result = convert_bitmap(conversion, bmp, "pic.bmp", settings);
    if (auto* refusal = std::get_if<std::string>(&result)) ADD_FAILURE() << *refusal;
    return std::get_if<Bytes>(&result) ? std::get<Bytes>(result) : Bytes{};
}

std::string refusal(Bitmap conversion, const Bytes& bmp) {
    auto result = convert_bitmap(conversion, bmp, "pic.bmp", {});
    return std::get_if<std::string>(&result) ? std::get<std::string>(result) : "(converted)";
}

// A 16-colour picture of 8 x 2 pixels in 8 of its colours: white, red,
// green, a near-black, a blue, a grey whose fourth byte is its level too,
// yellow and purple; the unused entries a dark grey.
Picture eight_colours() {
    Picture s = picture(8, 2, 4);
    s.palette = {0x00FFFFFF, 0x00FF0000, 0x0000FF00, 0x00080808,
                 0x000000F0, 0xC0C0C0C0, 0x00FFFF00, 0x00800080};
    s.palette.resize(16, 0x00646464);
    s.pixels = {0, 1, 2, 3, 4, 5, 6, 7,   // top row
                7, 6, 1, 1, 0, 2, 5, 5};  // bottom row
    return s;
}

const Bytes kEightColoursHeader = text("MVBM") + bytes({8, 0, 2, 0});
// The picture's own indices as bit planes, and its palette as 6-bit values.
const Bytes kEightColoursOwnRows = bytes({0x55, 0x33, 0x0F, 0x00, 0xB3, 0xC4, 0xC3, 0x00});
const Bytes kEightColoursOwnTrailer =
    text("RGB ") + bytes({0x3F, 0x3F, 0x3F, 0,    0,    0x3F, 0, 0x3F, 0,    2,    2, 2,
                          0x3C, 0,    0,    0x30, 0x30, 0x30, 0, 0x3F, 0x3F, 0x20, 0, 0x20}) +
    repeat({0x19, 0x19, 0x19}, 8);

TEST(LogoConversion, EpaModeReservesTheSystemColoursAndMapsTheRestByFirstAppearance) {
    // Entries 0, 7, 9 and 15 hold black, grey, blue and white; the picture's
    // near-black and blue take theirs, its white takes 15, and its grey
    // (fourth byte C0) differs from the reserved one (fourth byte 0). The
    // others fill 1-6 in order of first appearance, bottom row first.
    const Bytes expected =
        kEightColoursHeader +
        bytes({0xCD, 0xC2, 0xA4, 0x88,     // 15 3 4 0 9 5 2 1
               0xBB, 0x78, 0x0F, 0x08}) +  // 1 2 3 3 15 4 5 5
        text("RGB ") +
        bytes({2,    2,    2,    0x20, 0,    0x20, 0,    0x3F, 0x3F, 0,    0,    0x3F, 0,    0x3F, 0,
               0x30, 0x30, 0x30, 0x3F, 0x3F, 0x3F, 0x30, 0x30, 0x30, 0x3F, 0x3F, 0x3F, 0x3C, 0,    0}) +
        repeat({0x3F, 0x3F, 0x3F}, 6);
    const Bytes bmp = write_bmp(eight_colours());
    EXPECT_EQ(converted(Bitmap::kEpa, bmp), expected);
    // EPA mode ignores the bit that turns grey, white and the strip off.
    EXPECT_EQ(converted(Bitmap::kEpa, bmp, flags(0x01)), expected);

    // With noreserve the picture keeps its palette and indices.
    EXPECT_EQ(converted(Bitmap::kEpa, bmp, no_reserve()),
              kEightColoursHeader + kEightColoursOwnRows + kEightColoursOwnTrailer);
}

TEST(LogoConversion, FlagsSwitchReservationsOff) {
    const Bytes bmp = write_bmp(eight_colours());
    const auto trailer = [](const Bytes& out) { return Bytes(out.begin() + 20, out.end()); };
    // Full-screen mode with bit 0: only black is kept; white, grey and blue
    // are picture colours like any other.
    EXPECT_EQ(trailer(converted(Bitmap::kFullScreen, bmp, flags(0x01))),
              bytes({2,    2,    2,    0x20, 0,    0x20, 0,    0x3F, 0x3F, 0,    0, 0x3F,
                     0x3F, 0x3F, 0x3F, 0,    0x3F, 0,    0x30, 0x30, 0x30, 0x3C, 0, 0}) +
                  repeat({0x3F, 0x3F, 0x3F}, 8));
    // Bits 4-7 off as well: no entry is reserved at all.
    EXPECT_EQ(trailer(converted(Bitmap::kEpa, bmp, flags(0xF0))),
              bytes({0x20, 0,    0x20, 0,    0x3F, 0x3F, 0, 0, 0x3F, 0x3F, 0x3F, 0x3F,
                     0,    0x3F, 0,    0x30, 0x30, 0x30, 2, 2, 2,    0x3C, 0,    0}) +
                  repeat({0x3F, 0x3F, 0x3F}, 8));
}

TEST(LogoConversion, AColourLikeAnErasedEntryStillHasAnEntryOfItsOwn) {
    // FF FF FF FF looks like a free entry; once given to the picture it is no
    // longer free, so the next colour takes the next entry.
    Picture s = picture(2, 1, 4);
    s.palette = {0xFFFFFFFF, 0x00102030};
    s.pixels = {0, 1};
    EXPECT_EQ(converted(Bitmap::kEpa, write_bmp(s), flags(0xF0)),
              text("MVBM") + bytes({2, 0, 1, 0, 0x40, 0, 0, 0}) + text("RGB ") +
                  bytes({0x3F, 0x3F, 0x3F, 0x0C, 0x08, 0x04}) + repeat({0x3F, 0x3F, 0x3F}, 14));
}

// A 256-colour picture in colours 1-4 of a palette whose entry 0 is black.
Picture stripes(std::int32_t w, std::int32_t h) {
    Picture s = picture(w, h, 8);
    s.palette = {0x00000000, 0x00FC0000, 0x0000FC00, 0x000000FC, 0x00808080};
    s.palette.resize(256, 0x00646464);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) s.pixels.push_back(static_cast<std::uint32_t>((x + y) % 4 + 1));
    return s;
}

// The 256-colour trailer of the stripes in full-screen mode: black in 0,
// then the colours in their order of appearance in the bottom row.
Bytes stripes_trailer(const std::vector<std::uint32_t>& order) {
    Bytes t = text("RGB ") + bytes({0, 0, 0});
    for (std::uint32_t c : order) {
        const std::uint32_t rgb = stripes(1, 1).palette[c];
        t = t + bytes({static_cast<int>(rgb >> 18 & 0x3F), static_cast<int>(rgb >> 10 & 0x3F),
                       static_cast<int>(rgb >> 2 & 0x3F)});
    }
    return t + repeat({0x3F, 0x3F, 0x3F}, 255 - order.size());
}

TEST(LogoConversion, FullScreenCentresASmallPictureOnTheScreenAboveTheStrip) {
    const Bytes bmp = write_bmp(stripes(320, 200));
    // The bottom row (y = 199) begins with colours 4, 1, 2, 3.
    const auto index = [](std::uint32_t colour) { return colour == 4 ? 1 : colour + 1; };
    Bytes expected = text("MVBM") + bytes({0x80, 0x02, 0xE0, 0x01}) + Bytes(std::size_t{640} * 480, 0);
    for (std::uint32_t y = 0; y < 200; ++y)
        for (std::uint32_t x = 0; x < 320; ++x)
            expected[8 + (140 + y) * 640 + 160 + x] = static_cast<std::uint8_t>(index((x + y) % 4 + 1));
    Bytes with_strip = expected;
    std::copy(bottom_strip().begin(), bottom_strip().end(),
              with_strip.begin() + 8 + std::ptrdiff_t{464} * 640);
    const Bytes trailer = stripes_trailer({4, 1, 2, 3});
    ASSERT_EQ(with_strip.size(), 307208u);  // "RGB " follows at 307,208
    EXPECT_EQ(converted(Bitmap::kFullScreen, bmp), with_strip + trailer);
    // Flags bit 0: no strip.
    EXPECT_EQ(converted(Bitmap::kFullScreen, bmp, flags(0x01)), expected + trailer);
}

TEST(LogoConversion, FullScreenPictureGetsNoPaddingAndNoStrip) {
    const Bytes out = converted(Bitmap::kFullScreen, write_bmp(stripes(640, 480)));
    ASSERT_EQ(out.size(), 8 + 640 * 480 + 772u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 8), text("MVBM") + bytes({0x80, 0x02, 0xE0, 0x01}));
    // The last row is the picture's bottom row: colours 4, 1, 2, 3 again and again.
    EXPECT_EQ(Bytes(out.begin() + 8 + std::ptrdiff_t{479} * 640, out.end() - 772), repeat({1, 2, 3, 4}, 160));
}

TEST(LogoConversion, EpaModeKeepsTheSizeAndRoundsRowsWithZeros) {
    // 12 pixels a row become 16 bytes. Black, grey and blue are reserved;
    // the picture's blue (colour 3) is found for entry 9 and its grey
    // (colour 4) equals the reserved grey, so both take those entries.
    const Bytes out = converted(Bitmap::kEpa, write_bmp(stripes(12, 3)));
    const Bytes rows = repeat({1, 2, 9, 7}, 3) + Bytes(4, 0) + repeat({2, 9, 7, 1}, 3) + Bytes(4, 0) +
                       repeat({9, 7, 1, 2}, 3) + Bytes(4, 0);
    const Bytes palette = bytes({0, 0, 0, 0x3F, 0, 0, 0, 0x3F, 0}) + repeat({0x3F, 0x3F, 0x3F}, 4) +
                          bytes({0x20, 0x20, 0x20, 0x3F, 0x3F, 0x3F, 0, 0, 0x3F}) +
                          repeat({0x3F, 0x3F, 0x3F}, 246);
    EXPECT_EQ(out, text("MVBM") + bytes({12, 0, 3, 0}) + rows + text("RGB ") + palette);
}

TEST(OsbConversion, KeepsThePicturesPaletteAndTakesAPosition) {
    const Bytes bmp = write_bmp(eight_colours());
    const Bytes planes = kEightColoursOwnRows + kEightColoursOwnTrailer;
    EXPECT_EQ(converted(Bitmap::kOsb, bmp, no_reserve()), kEightColoursHeader + planes);
    BitmapSettings placed;
    placed.position = {true, 100, 50};
    EXPECT_EQ(converted(Bitmap::kOsb, bmp, placed), bytes({0x64, 0, 0x32, 0, 8, 0, 2, 0}) + planes);

    // GUI: rows packed as stored, palette in full 8 bits.
    EXPECT_EQ(converted(Bitmap::kGuiOsb, bmp),
              kEightColoursHeader + bytes({0x01, 0x23, 0x45, 0x67, 0x76, 0x11, 0x02, 0x55}) + text("RGB ") +
                  bytes({0xFF, 0xFF, 0xFF, 0,    0,    0xFF, 0, 0xFF, 0,    8,    8, 8,
                         0xF0, 0,    0,    0xC0, 0xC0, 0xC0, 0, 0xFF, 0xFF, 0x80, 0, 0x80}) +
                  repeat({0x64, 0x64, 0x64}, 8));
}

TEST(OsbConversion, TakesOnlyThePaletteBeforeTheRowsAndExactlyTheWidth) {
    Picture s = picture(5, 2, 8);
    s.palette = {0x00000000, 0x00FC0804};
    s.palette.resize(16, 0x00404040);  // 16 entries: the rows start at 118
    s.pixels = {0, 1, 2, 3, 15, 1, 1, 0, 0, 1};
    const Bytes rows = bytes({0, 1, 2, 3, 15, 1, 1, 0, 0, 1});
    const Bytes own = text("RGB ") + bytes({0, 0, 0, 0x3F, 2, 1}) + repeat({0x10, 0x10, 0x10}, 14);
    EXPECT_EQ(converted(Bitmap::kOsb, write_bmp(s)),
              text("MVBM") + bytes({5, 0, 2, 0}) + rows + own + repeat({0x3F, 0x3F, 0x3F}, 240));
    // The V5 header that editors write moves the palette; the result is the same.
    s.header_size = 124;
    EXPECT_EQ(converted(Bitmap::kGuiOsb, write_bmp(s)),
              text("MVBM") + bytes({5, 0, 2, 0}) + rows + text("RGB ") + bytes({0, 0, 0, 0xFC, 8, 4}) +
                  repeat({0x40, 0x40, 0x40}, 14) + repeat({0xFF, 0xFF, 0xFF}, 240));
}

TEST(BitmapConversion, TrueColourIsWrappedByTheGuiConversionAndRefusedByTheOthers) {
    Picture s = picture(3, 2, 24);
    s.pixels = {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112};
    const Bytes bmp = write_bmp(s);
    EXPECT_EQ(converted(Bitmap::kGuiOsb, bmp), text("24BM") + bmp);
    EXPECT_EQ(refusal(Bitmap::kFullScreen, bmp),
              " !! BMP colors not support (Only support 16 & 256 colors) !!\n");
    EXPECT_EQ(refusal(Bitmap::kEpa, bmp), " !! BMP colors not support (Only support 16 & 256 colors) !!\n");
    EXPECT_EQ(refusal(Bitmap::kOsb, bmp),
              " !! Unsupport this color mode in OSB (Only 16 or 256 colors) !!\n");
    s = picture(8, 1, 1);
    s.palette = {0, 0xFFFFFF};
    s.pixels.resize(8);
    const Bytes mono = write_bmp(s);
    EXPECT_EQ(refusal(Bitmap::kGuiOsb, mono),
              " !! Unsupport this color mode in OSB (Only 16 or 256 colors) !!\n");
}

TEST(BitmapConversion, MalformedPicturesAreRefusedNamingTheFile) {
    const Bytes good = write_bmp(eight_colours());
    const auto changed = [&](std::uint64_t offset, std::uint32_t value) {
        Bytes b = good;
        base::write_u32(b, offset, value);
        return b;
    };
    const std::string cut = "Bitmap pic.bmp is cut short; it is not added.\n";
    const std::string size = "Bitmap pic.bmp has a width or height of 0 or over 65535; it is not added.\n";
    for (Bitmap c : {Bitmap::kFullScreen, Bitmap::kOsb, Bitmap::kGuiOsb}) {
        EXPECT_EQ(refusal(c, Bytes(good.begin(), good.end() - 1)), cut);  // the last row's last byte
        EXPECT_EQ(refusal(c, Bytes(good.begin(), good.begin() + 40)), cut);
        EXPECT_EQ(refusal(c, text("BM")), cut);
        EXPECT_EQ(refusal(c, changed(10, 0xFFFFFFF0)), cut);  // rows far past the end
        EXPECT_EQ(refusal(c, changed(14, 0xFFFFFFF0)), cut);  // an info header larger than the file
        EXPECT_EQ(refusal(c, changed(18, 0)), size);
        EXPECT_EQ(refusal(c, changed(22, 65536)), size);
        EXPECT_EQ(refusal(c, changed(18, 0x80000000)), size);
        EXPECT_EQ(refusal(c, changed(22, 0xFFFFFFFE)),
                  "Bitmap pic.bmp is stored top-down; it is not added.\n");
        EXPECT_EQ(
            refusal(c, changed(30, 2)),
            "Bitmap pic.bmp is compressed (method 2); only plain rows are converted; it is not added.\n");
        EXPECT_EQ(
            refusal(c, changed(14, 12)),
            "Bitmap pic.bmp has an info header of 12 bytes, which is not supported; it is not added.\n");
        EXPECT_EQ(refusal(c, changed(10, 20)),
                  "Bitmap pic.bmp has its rows inside its header; it is not added.\n");
    }
}

}  // namespace
}  // namespace kitra::convert
