#include "image/layout.h"

#include <gtest/gtest.h>

#include "image/markers.h"
#include "support/image_builder.h"

namespace kitra::image {

using base::Bytes;
using base::ByteView;
namespace {

using testing::ImageBuilder;
using testing::stored_module;

constexpr std::uint32_t K = 1024;

Layout layout_of(const Bytes& bytes, std::uint32_t top_hole_address = 0, bool top_hole_option = false) {
    auto result = discover_layout(bytes, top_hole_address, top_hole_option);
    EXPECT_TRUE(std::holds_alternative<Layout>(result));
    return std::get<Layout>(result);
}

// A system BIOS module at offset 0 whose H + packed size + 4 is `span`.
Bytes system_bios_of_span(std::uint32_t span) {
    const std::string name = "sys.rom";  // H = 32
    return stored_module(name, "5000:0", Bytes(span - 4 - 32, 0x11));
}

TEST(Layout, SmallImageWalkStartFollowsTheSystemBiosButAtLeast64K) {
    ImageBuilder short_bios(128 * K);
    short_bios.put(0, system_bios_of_span(0xC000));
    EXPECT_EQ(layout_of(short_bios.bytes).walk_start, 0x10000u);

    ImageBuilder long_bios(128 * K);
    long_bios.put(0, system_bios_of_span(0x12345));
    const Layout l = layout_of(long_bios.bytes);
    EXPECT_EQ(l.walk_start, 0x12345u);
    EXPECT_EQ(l.system_bios_offset, 0u);
    EXPECT_EQ(l.compressed_limit, 0xB000u);  // no "*BBSS*"
    EXPECT_FALSE(l.bbss_found);
}

TEST(Layout, SmallImageWithoutSystemBiosFirstFillsUpToTheBaseWindow) {
    ImageBuilder b(256 * K);
    b.put(0, stored_module("vga.rom", "4080:0", "x"));
    const Layout l = layout_of(b.bytes);
    EXPECT_EQ(l.walk_start, 0u);
    EXPECT_EQ(l.compressed_limit, 0x20000u);
    EXPECT_EQ(l.base_window, 0x20000u);
}

TEST(Layout, LargeImageFindsTheFirstLh5ModuleAndTheBootblockLimit) {
    ImageBuilder b(1024 * K);
    Bytes bios = stored_module("bios", "5000:0", Bytes(0x200, 0));
    bios[5] = '5';  // method "-lh5-"
    b.put(0x3000, bios);
    b.put_bootblock_record(0xE0000 + 0x100, 0, 0x2000, 0xD000, 0x5000, 0x02);
    const Layout l = layout_of(b.bytes);
    EXPECT_EQ(l.system_bios_offset, 0x3000u);
    EXPECT_EQ(l.walk_start, 0x13000u);
    EXPECT_EQ(l.compressed_limit, 0xED000u);
    EXPECT_EQ(l.checksum_block, 0xE2000u);
    EXPECT_EQ(l.image_checksum_word, 0xE5000u);
    EXPECT_TRUE(l.bootblock_flag);
    EXPECT_FALSE(l.extended_layout);
}

TEST(Layout, LargeImageWithoutAnyLh5ModuleIsRefused) {
    ImageBuilder b(512 * K);
    b.put(0, stored_module("bios", "5000:0", "x"));  // "-lh0-" only
    EXPECT_TRUE(std::holds_alternative<std::string>(discover_layout(b.bytes, 0, false)));
}

TEST(Layout, ExtendedLayoutNeedsTheLowNibbleAndAnImageOverFour64KWindows) {
    auto make = [](std::uint32_t size, std::uint16_t w8) {
        ImageBuilder b(size);
        Bytes bios = stored_module("bios", "5000:0", "x");
        bios[5] = '5';
        b.put(0, bios);
        const std::uint32_t window = size - 0x20000;
        // word +6: segment 3, block at 0x4000 whose word at +10 adds 0x1234
        b.put_bootblock_record(window + 0x40, 0x4003, w8, 0x8000, 0x3412);
        b.put_u16(window + 0x4000 + 10, 0x1234);
        return b.bytes;
    };
    const Layout extended = layout_of(make(512 * K, 0x7001));
    EXPECT_TRUE(extended.extended_layout);
    EXPECT_EQ(extended.checksum_block, 512 * K - 0x100000u + 3 * 0x10000u + 0x5000u);
    EXPECT_EQ(extended.image_checksum_word, 0x123400u);
    EXPECT_FALSE(layout_of(make(512 * K, 0x7000)).extended_layout);
    EXPECT_FALSE(layout_of(make(256 * K, 0x7001)).extended_layout);
}

TEST(Layout, BootblockRecordInTheSecondWindowAndFlagByteBeforeIt) {
    ImageBuilder b(256 * K);
    b.put(0, system_bios_of_span(0x8000));
    // 10 bytes into the second window: the flag byte lies in the first.
    b.put_bootblock_record(0x30000 + 10, 0, 0x1000, 0x2000, 0x3000, 0x02);
    const Layout l = layout_of(b.bytes);
    EXPECT_EQ(l.window_start, 0x30000u);
    EXPECT_EQ(l.compressed_limit, 0x32000u);
    EXPECT_TRUE(l.bootblock_flag);
}

TEST(Layout, TopHoleAddressBecomesAFileOffset) {
    ImageBuilder b(512 * K);
    Bytes bios = stored_module("bios", "5000:0", "x");
    bios[5] = '5';
    b.put(0, bios);
    EXPECT_EQ(layout_of(b.bytes, 0xFFFD0000, true).top_hole_address, 0x50000u);
    EXPECT_EQ(layout_of(b.bytes, 0xFFFD0000, false).top_hole_address, 0u);
}

TEST(Layout, MicrocodeAreaThroughBs1AndAlin16) {
    ImageBuilder b(256 * K);
    b.put(0, system_bios_of_span(0x8000));
    b.put_bs1_record(0x3F000, 0xFFFE0000);
    b.put_trailer(0x20800, "*ALIN16*", 0x800, "NCPUCODE.BIN");
    Layout l = layout_of(b.bytes);
    EXPECT_TRUE(l.ncpucode_present);
    EXPECT_EQ(l.ncpucode_offset, 0x20000u);
    EXPECT_EQ(l.ncpucode_size, 0x800u);

    b.put_bs1_record(0x3F000, 0xFFFFFFFF);
    l = layout_of(b.bytes);
    EXPECT_FALSE(l.ncpucode_present);
    EXPECT_EQ(l.ncpucode_size, 0u);

    // An address outside the image names no area of it.
    b.put_bs1_record(0x3F000, 0x10000);
    EXPECT_FALSE(layout_of(b.bytes).ncpucode_present);
}

TEST(Layout, TopHoleNeedsTheBs1FlagAndATrailerAfterTheChain) {
    ImageBuilder b(512 * K);
    Bytes bios = stored_module("bios", "5000:0", "x");
    bios[5] = '5';
    b.put(0, bios);
    b.put_bootblock_record(0x60000 + 0x100, 0, 0, 0xE000, 0);  // limit 0x6E000
    const std::uint64_t bs1 = 512 * K - 0x16000 + 0x100;       // on a 4-byte step
    b.put_bs1_record(bs1, 0, 0x10);
    b.put_trailer(0x5F000, "$TopHole", 0x2000, "TOP_HOLE.BIN");
    Layout l = layout_of(b.bytes);
    EXPECT_TRUE(l.top_hole_enabled);
    EXPECT_EQ(l.top_hole_start, 0x5D000u);
    EXPECT_EQ(l.top_hole_size, 0x2000u);

    b.put_u8(bs1 + 15, 0x00);
    l = layout_of(b.bytes);
    EXPECT_FALSE(l.top_hole_enabled);
    EXPECT_EQ(l.top_hole_size, 0u);

    // A "*BS1" off the 4-byte steps does not count.
    b.fill(bs1, 16, 0xFF).put_bs1_record(bs1 + 2, 0, 0x10);
    EXPECT_FALSE(layout_of(b.bytes).top_hole_enabled);
}

TEST(Markers, LineSearchResultAndProbe) {
    ImageBuilder b(256 * K);
    const std::uint64_t start = 0x20000;
    EXPECT_EQ(line_search(b.bytes, start, "*BT-VGA*"), kLineSearchMiss);
    b.put_text(start + 0x20, "*BT-VGA*");
    EXPECT_EQ(line_search(b.bytes, start, "*BT-VGA*"), 0x30u);
    EXPECT_FALSE(line_search_probe(b.bytes, start, "*BT-VGA*"));
    b.put(start + 0x30, Bytes{0x55, 0xAA, 0, 0});
    EXPECT_TRUE(line_search_probe(b.bytes, start, "*BT-VGA*"));
    // Only the start of a line counts.
    EXPECT_EQ(line_search(b.bytes, start, "BtBkVgaRom"), kLineSearchMiss);
    b.put_text(start + 0x41, "BtBkVgaRom");
    EXPECT_EQ(line_search(b.bytes, start, "BtBkVgaRom"), kLineSearchMiss);
}

TEST(Layout, CraftedImagesNeverReachOutside) {
    // Chains and records pointing anywhere: discovery finishes on every one.
    for (std::uint32_t seed = 1; seed < 40; ++seed) {
        ImageBuilder b(128 * K + seed * 7);
        b.bytes = testing::pseudo_random_bytes(b.bytes.size(), seed);
        b.put_text(0, "\x20\x00-lh5-");
        b.put_u16(17, 0x5000);
        b.put_bootblock_record(b.bytes.size() - 0x20000 + seed, 0x4003, 0x7001, 0xFFFF, 0xFFFF);
        b.put_bs1_record(b.bytes.size() - 0x16000 + 4 * seed, 0xFFFFFFF0 - seed, 0x10);
        b.put_text(0x12000 + seed, "$TopHole");
        const auto result = discover_layout(b.bytes, 0xFFFFFFFF, true);
        EXPECT_TRUE(std::holds_alternative<Layout>(result));
    }
}

}  // namespace
}  // namespace kitra::image
