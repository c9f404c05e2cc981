#include "regions/position_dependent.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "codec/module_header.h"
#include "image/image_file.h"
#include "support/image_builder.h"
#include "support/test_data.h"

namespace kitra::regions {
namespace {

using base::Bytes;
using testing::ImageBuilder;
using testing::pe_reloc_at;
using testing::stored_module;
using testing::test_data;

TEST(PositionDependent, PadIsOneToAWholeUnitNeverZero) {
    EXPECT_EQ(alignment_pad(0x10000 - 33, 31, 128), 128u);  // data already on a boundary
    EXPECT_EQ(alignment_pad(0x10000 - 32, 31, 128), 127u);
    EXPECT_EQ(alignment_pad(0x10000 - 34, 31, 128), 1u);
    EXPECT_EQ(alignment_pad(0x10000 - 33, 31, 16), 16u);
}

// 256 KiB, no bootblock records: a 34-byte module at 0x10000, then a stored
// PE32 module (no pad, not rebased) at 0x10022.
struct Chain {
    ImageBuilder b{0x40000};
    Bytes pe = stored_module("pe.efi", "407B:0", test_data("pe32/pe_reloc.efi"));
    std::uint64_t pe_at = b.put_module(0x10000, stored_module("x", "4012:0", "12345"));
    std::uint64_t after = b.put_module(pe_at, pe);
};

TEST(PositionDependent, RebuiltModuleGrowsOverTheOldPlaceOfTheNextWithoutHarm) {
    Chain ch;
    const Bytes y = stored_module("y.bin", "4013:0", testing::pseudo_random_bytes(100, 5));
    ch.b.put_module(ch.after, y);
    Bytes image = ch.b.bytes;
    ASSERT_EQ(compact(image, 0x10000, ch.pe_at - 0x10000, 0x20000, {}), std::nullopt);

    // At 0x10000 with a pad of 95 (data at 0x10080): it now reaches over
    // where the next module was, which still moves whole behind it.
    const auto m = codec::module_at(image, 0x10000);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->packed_size, 0xE00u + 95);
    const Bytes data(image.begin() + 0x10080, image.begin() + 0x10E80);
    EXPECT_EQ(data, pe_reloc_at(0xFFFD0080));  // no checksum byte: "*BS1" does not ask for one
    const std::uint64_t y_at = 0x10000 + m->step();
    ASSERT_GT(ch.after + y.size(), 0x10000 + m->length());
    EXPECT_TRUE(std::equal(y.begin(), y.end(), image.begin() + static_cast<std::ptrdiff_t>(y_at)));
    EXPECT_TRUE(std::all_of(image.begin() + static_cast<std::ptrdiff_t>(y_at + y.size()),
                            image.begin() + 0x20000, [](auto x) { return x == 0xFF; }));
}

TEST(PositionDependent, RefusalsLeaveTheImageAsItWas) {
    Chain ch;
    Bytes image = ch.b.bytes;
    // The grown module would end past a limit right behind its old place.
    EXPECT_EQ(
        compact(image, 0x10000, ch.pe_at - 0x10000, ch.after - 1, {}),
        "The module pe.efi (type 407B) at 00010022h does not fit below 00010E43h once moved to 00010000h");
    EXPECT_EQ(image, ch.b.bytes);

    ch.b.put_module(ch.pe_at, stored_module("pe.efi", "407B:0", "MZ, but no more"));
    image = ch.b.bytes;
    EXPECT_EQ(compact(image, 0x10000, ch.pe_at - 0x10000, 0x20000, {}),
              "The module pe.efi (type 407B) at 00010022h cannot be moved: its \"MZ\" header is cut short");
    EXPECT_EQ(image, ch.b.bytes);
}

// The first module is made again and written before the second refuses:
// the image's journal takes back every write, so the image is the file again.
TEST(PositionDependent, ARefusalAfterAModuleWasMadeAgainUndoesEveryWrite) {
    Chain ch;
    ch.b.put_module(ch.after, stored_module("bad.efi", "407B:0", "MZ, but no more"));
    image::Image image("bios.bin", ch.b.bytes);
    EXPECT_EQ(compact(image, 0x10000, ch.pe_at - 0x10000, 0x20000, {}),
              base::format("The module bad.efi (type 407B) at %08llXh cannot be moved: its \"MZ\" header is "
                           "cut short",
                           static_cast<unsigned long long>(ch.after)));
    EXPECT_EQ(image.bytes(), ch.b.bytes);
    EXPECT_FALSE(image.changed());
}

}  // namespace
}  // namespace kitra::regions

namespace kitra::regions {
namespace {

// The chain moved up lands on itself: it is read from a copy, the PE32
// module is made for its new place, the planner says where it ends, and a
// move past the limit is refused with the image as it was.
TEST(MoveChain, UpOverItselfRebasedAndPlannedOrRefused) {
    Chain ch;
    Bytes image = ch.b.bytes;
    const std::uint64_t from = 0x10000;
    const std::uint64_t to = 0x10010;
    const std::uint64_t end = moved_chain_end(image, from, to, 0x20000);
    ASSERT_EQ(move_chain(image, from, to, 0x20000, {}), std::nullopt);
    EXPECT_TRUE(
        std::equal(image.begin() + 0x10010, image.begin() + 0x10010 + 34, ch.b.bytes.begin() + 0x10000));
    const auto pe = codec::module_at(image, to + (ch.pe_at - from));
    ASSERT_TRUE(pe);
    EXPECT_EQ(pe->offset + pe->step(), end);
    const std::uint64_t data = pe->offset + pe->header_size + 2 + image[pe->offset + pe->header_size];
    EXPECT_EQ(data % 128, 0u);
    EXPECT_EQ(Bytes(image.begin() + static_cast<std::ptrdiff_t>(data),
                    image.begin() + static_cast<std::ptrdiff_t>(data + 0xE00)),
              pe_reloc_at(static_cast<std::uint32_t>(data - 0x40000)));
    EXPECT_TRUE(std::all_of(image.begin() + static_cast<std::ptrdiff_t>(end), image.begin() + 0x20000,
                            [](auto x) { return x == 0xFF; }));

    const Bytes before = image;
    EXPECT_EQ(
        move_chain(image, 0x10010, end - 0x100, end + 0x80, {}),
        base::format("The module pe.efi (type 407B) at %08llXh does not fit below %08llXh once moved to "
                     "%08llXh",
                     static_cast<unsigned long long>(pe->offset), static_cast<unsigned long long>(end + 0x80),
                     static_cast<unsigned long long>(end - 0x100 + 34)));
    EXPECT_EQ(image, before);
}

}  // namespace
}  // namespace kitra::regions
