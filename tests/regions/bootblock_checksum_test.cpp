#include "regions/bootblock_checksum.h"

#include <gtest/gtest.h>

#include "support/image_builder.h"

namespace kitra::regions {
namespace {

using base::Bytes;
using base::ByteView;
using testing::ImageBuilder;
using testing::pseudo_random_bytes;

constexpr std::uint32_t kLength = 0x40000;  // base window at 0x20000
constexpr std::uint32_t kStart = 0x2A000;   // image length - 0x16000

// "*BBSS*" at `marker` with W = `word`; the region it names has length
// `region_length` and random contents (its length word kept).
ImageBuilder image_with(std::uint32_t marker, std::uint16_t word, std::uint16_t region_length) {
    ImageBuilder b(kLength);
    const std::uint32_t base = 0x20000 + (word & 0xFFF0u);
    b.put(base, pseudo_random_bytes(std::min<std::uint32_t>(region_length, kLength - base), word));
    b.put_u16(base + 10, region_length);
    b.put_text(marker, "*BBSS*");
    b.put_u16(marker + 6, word);
    return b;
}

BootblockChecksum located(ByteView image, std::uint64_t start = kStart) {
    const auto found = locate_bootblock_checksum(image, start);
    EXPECT_TRUE(std::holds_alternative<BootblockChecksum>(found));
    return std::holds_alternative<BootblockChecksum>(found) ? std::get<BootblockChecksum>(found)
                                                            : BootblockChecksum{};
}

BootblockChecksumProblem problem(ByteView image, std::uint64_t start = kStart) {
    const auto found = locate_bootblock_checksum(image, start);
    EXPECT_TRUE(std::holds_alternative<BootblockChecksumProblem>(found));
    return std::holds_alternative<BootblockChecksumProblem>(found) ? std::get<BootblockChecksumProblem>(found)
                                                                   : BootblockChecksumProblem::MarkerMissing;
}

TEST(BootblockChecksum, RegionAndByteComeFromTheWordAfterTheMarker) {
    const Bytes image = image_with(0x2A103, 0x1234, 0x0800).bytes;
    const BootblockChecksum at = located(image);
    EXPECT_EQ(at.marker, 0x2A103u);
    EXPECT_EQ(at.word, 0x1234u);
    EXPECT_EQ(at.region_base, 0x21230u);  // the low nibble of W is not part of the offset
    EXPECT_EQ(at.region_length, 0x0800u);
    EXPECT_EQ(at.checksum_offset, 0x21A2Fu);
}

TEST(BootblockChecksum, SearchStartsAtLength0x16000FromTheEnd) {
    EXPECT_EQ(bootblock_search_start(Bytes(kLength)), kStart);
    EXPECT_EQ(bootblock_search_start(Bytes(0x100000)), 0xEA000u);
}

TEST(BootblockChecksum, SearchCoversExactly0x6000BytePositions) {
    EXPECT_EQ(located(image_with(kStart + 0x5FFF, 0x1230, 0x10).bytes).marker, kStart + 0x5FFFu);
    EXPECT_EQ(problem(image_with(kStart + 0x6000, 0x1230, 0x10).bytes),
              BootblockChecksumProblem::MarkerMissing);
    // A marker before the start does not count either.
    EXPECT_EQ(problem(image_with(kStart - 1, 0x1230, 0x10).bytes), BootblockChecksumProblem::MarkerMissing);
}

TEST(BootblockChecksum, RegionMayEndAtTheLastByteOfItsWindow) {
    const BootblockChecksum at = located(image_with(kStart, 0xF800, 0x0800).bytes);
    EXPECT_EQ(at.checksum_offset, 0x2FFFFu);
}

TEST(BootblockChecksum, CraftedRegionsAreRefusedAsUnusable) {
    // One byte further would wrap the 16-bit window offset.
    EXPECT_EQ(problem(image_with(kStart, 0xF800, 0x0801).bytes), BootblockChecksumProblem::Unusable);
    EXPECT_EQ(problem(image_with(kStart, 0xFFF0, 0xFFFF).bytes), BootblockChecksumProblem::Unusable);
    // A region without bytes has no last byte.
    EXPECT_EQ(problem(image_with(kStart, 0x1230, 0).bytes), BootblockChecksumProblem::Unusable);
    // A marker at the very end has no word after it.
    ImageBuilder at_end(kLength);
    at_end.put_text(kLength - 6, "*BBSS*");
    EXPECT_EQ(problem(at_end.bytes, kLength - 0x100), BootblockChecksumProblem::Unusable);
    // A buffer shorter than the base window has no region at all.
    ImageBuilder tiny(0x100);
    tiny.put_text(0, "*BBSS*");
    EXPECT_EQ(problem(tiny.bytes, 0), BootblockChecksumProblem::Unusable);
}

TEST(BootblockChecksum, RecomputeStoresTheSumOfTheOtherRegionBytes) {
    ImageBuilder b = image_with(kStart, 0x4560, 0x0123);
    const BootblockChecksum at = located(b.bytes);
    Bytes expected = b.bytes;
    expected[0x24560 + 0x122] = base::sum8(ByteView(b.bytes).subspan(0x24560, 0x122));
    recompute_bootblock_checksum(b.bytes, at);
    EXPECT_EQ(b.bytes, expected);
}

TEST(BootblockChecksum, OneByteRegionHoldsSumZero) {
    // Length 1: the region is only its checksum byte, which sums nothing.
    ImageBuilder b = image_with(kStart, 0x4560, 1);
    const BootblockChecksum at = located(b.bytes);
    recompute_bootblock_checksum(b.bytes, at);
    EXPECT_EQ(b.bytes[0x24560], 0u);
}

TEST(BootblockChecksum, AdjustAddsTheChangeModulo256) {
    ImageBuilder b = image_with(kStart, 0x4560, 0x0100);
    const BootblockChecksum at = located(b.bytes);
    b.bytes[at.checksum_offset] = 0x10;
    adjust_bootblock_checksum(b.bytes, at, 0xF5);
    EXPECT_EQ(b.bytes[at.checksum_offset], 0x05u);
}

TEST(BootblockChecksum, AdjustingByAWriteKeepsAValidRegionValid) {
    ImageBuilder b = image_with(kStart, 0x4560, 0x0100);
    const BootblockChecksum at = located(b.bytes);
    recompute_bootblock_checksum(b.bytes, at);

    const std::uint64_t where = 0x24560 + 0x40;
    const Bytes old_bytes(b.bytes.begin() + where, b.bytes.begin() + where + 4);
    b.put_u32(where, 0xFFFE0000);
    adjust_bootblock_checksum(b.bytes, at, sum_change(ByteView(b.bytes).subspan(where, 4), old_bytes));

    const std::uint8_t adjusted = b.bytes[at.checksum_offset];
    recompute_bootblock_checksum(b.bytes, at);
    EXPECT_EQ(b.bytes[at.checksum_offset], adjusted);
}

TEST(BootblockChecksum, SumChangeIsWrittenMinusReplaced) {
    const Bytes written{1, 2, 3};
    const Bytes replaced{0, 0, 0xFF};
    EXPECT_EQ(sum_change(written, replaced), 7u);
    EXPECT_EQ(sum_change(replaced, written), 0xF9u);
    EXPECT_EQ(sum_change({}, {}), 0u);
}

TEST(BootblockChecksum, SegmentIsTheWordRotatedRightByFourBits) {
    EXPECT_EQ(bootblock_segment(0x1234), 0x4123u);
    EXPECT_EQ(bootblock_segment(0xE00F), 0xFE00u);
    EXPECT_EQ(bootblock_segment(0x0000), 0x0000u);
}

}  // namespace
}  // namespace kitra::regions
