#include "regions/fixup_descriptor.h"

#include <gtest/gtest.h>

#include <array>

#include "base/fatal.h"
#include "regions/patcher_image.h"

namespace kitra::regions {
namespace {

using namespace testing_support;

struct Entry {
    std::uint16_t offset;
    std::uint8_t kind;
};
using Categories = std::array<std::vector<Entry>, 6>;

Bytes table(const Categories& categories, std::uint8_t sub_version = 9, int check_error = 0) {
    Bytes t(24, 0);
    std::copy_n("FixupDescriptor", 15, t.begin());
    t[15] = 0;
    t[16] = sub_version;
    std::uint8_t check = 0;
    for (std::size_t c = 0; c < 6; ++c) {
        t[18 + c] = static_cast<std::uint8_t>(categories[c].size());
        check = static_cast<std::uint8_t>(check + categories[c].size());
        for (const Entry& e : categories[c]) {
            t.push_back(static_cast<std::uint8_t>(e.offset));
            t.push_back(static_cast<std::uint8_t>(e.offset >> 8));
            t.push_back(e.kind);
        }
    }
    t[17] = static_cast<std::uint8_t>(check + check_error);
    return t;
}

const PlacedModule kModule{0xFFFC1080, 0xFFFC1480, 1};

TEST(FixupDescriptor, BootextTableAppliesEveryCategoryAndKeepsTheChecksumByte) {
    ImageBuilder b = patcher_image();
    b.put(0x28100, table({{{{0x200, 2}},
                           {{0x210, 1}, {0x218, 2}},
                           {{0x220, 0}, {0x224, 1}},
                           {{0x230, 1}},
                           {{0x240, 4}},
                           {{0x250, 1}}}}));
    b.put_u32(0x28202, 0xAB123456).put_u32(0x28212, 0xCD000000).put_u32(0x2821A, 0x11111111);
    b.put_u32(0x28220, 0x00001234).put_u32(0x28224, 0x00050000);
    seal(b.bytes);
    Bytes image = b.bytes;
    ASSERT_EQ(patch_fixup_descriptors(image, kModule, FixupForm::kMain), std::nullopt);

    Bytes expected = b.bytes;
    base::write_u32(expected, 0x28202, 0xAB0F8000);  // category 0: base G x 16, top byte kept
    base::write_u32(expected, 0x28212, 0xCDFC1080);  // category 1: base of the address...
    expected[0x28217] = 0xFF;                        // ... and its top byte
    base::write_u32(expected, 0x28220, 0x000F9234);  // category 2: bits 16-23 clear, G x 16 added
    base::write_u32(expected, 0x28230, kModule.entry_point);
    base::write_u16(expected, 0x28240, kSegment);  // category 4: every kind
    base::write_u32(expected, 0x28250, kModule.address);
    seal(expected);
    EXPECT_EQ(image, expected);  // the kind-2 entry and the far pointer with bits 16-23 set stay
    EXPECT_TRUE(sealed(image));
}

TEST(FixupDescriptor, CategoryZeroTableWithCheckByteOne) {
    ImageBuilder b = patcher_image();
    b.put(0x28100, table({{{{0x300, 3}}, {}, {}, {}, {}, {}}}));
    seal(b.bytes);
    Bytes image = b.bytes;
    ASSERT_EQ(image[0x28100 + 17], 1);
    ASSERT_EQ(patch_fixup_descriptors(image, kModule, FixupForm::kMain), std::nullopt);
    EXPECT_EQ(base::read_u32(image, 0x28302) & 0xFFFFFF, 0x0F8000u);
    EXPECT_EQ(image[0x28305], b.bytes[0x28305]);
    const std::uint8_t moved =
        static_cast<std::uint8_t>(base::sum8(base::slice(base::ByteView(image), 0x28302, 3)) -
                                  base::sum8(base::slice(base::ByteView(b.bytes), 0x28302, 3)));
    EXPECT_EQ(image[kChecksumByte], static_cast<std::uint8_t>(b.bytes[kChecksumByte] + moved));
}

TEST(FixupDescriptor, BootblockTablesUnlessTheArenaHoldsTheKindsOwnModule) {
    ImageBuilder b = patcher_image();
    // Bootext table for kind 2, then bootblock tables at window offset
    // 0x10000 (passed over) and 0x18000 (offsets from the bootblock).
    b.put(0x28100, table({{{}, {}, {}, {{0x260, 2}}, {}, {}}}));
    b.put(0x30000, table({{{}, {}, {}, {}, {}, {{0x100, 2}}}}));
    b.put(0x38000, table({{{{0x200, 0}}, {{0x210, 2}}, {}, {{0x220, 2}}, {{0x230, 0}}, {{0x240, 2}}}}));
    b.put(0x38100, table({{{}, {}, {}, {}, {}, {{0x250, 2}}}}));
    seal(b.bytes);
    const PlacedModule kind2{0xFFF80100, 0xFFF80200, 2};

    Bytes image = b.bytes;
    ASSERT_EQ(patch_fixup_descriptors(image, kind2, FixupForm::kMain), std::nullopt);
    Bytes expected = b.bytes;
    base::write_u32(expected, 0x28260, kind2.entry_point);
    seal(expected);
    base::write_u32(expected, 0x30212, (std::uint32_t{b.bytes[0x30215]} << 24) | 0xF80100);
    expected[0x30217] = 0xFF;
    base::write_u32(expected, 0x30220, kind2.entry_point);
    base::write_u32(expected, 0x30240, kind2.address);
    base::write_u32(expected, 0x30250, kind2.address);
    EXPECT_EQ(image, expected);

    put_arena(b, {"3012:0"});  // the bootblock variant of kind 2
    image = b.bytes;
    ASSERT_EQ(patch_fixup_descriptors(image, kind2, FixupForm::kMain), std::nullopt);
    expected = b.bytes;
    base::write_u32(expected, 0x28260, kind2.entry_point);
    seal(expected);
    EXPECT_EQ(image, expected);
}

TEST(FixupDescriptor, BootblockFormScansTheBootblockTo0xDFFF) {
    ImageBuilder b = patcher_image();
    b.put(0x28100, table({{{}, {}, {}, {{0x260, 1}}, {}, {}}}));  // bootext: not this form's
    b.put(0x30000, table({{{}, {}, {}, {}, {}, {{0x100, 1}}}}));
    b.put(0x3DFFF, table({{{}, {}, {}, {}, {}, {{0x110, 1}}}}));
    Bytes image = b.bytes;
    ASSERT_EQ(patch_fixup_descriptors(image, kModule, FixupForm::kBootblock), std::nullopt);
    Bytes expected = b.bytes;
    base::write_u32(expected, 0x30100, kModule.address);
    base::write_u32(expected, 0x30110, kModule.address);
    EXPECT_EQ(image, expected);

    ImageBuilder past = patcher_image();
    past.put(0x3E000, table({{{}, {}, {}, {}, {}, {{0x120, 1}}}}));
    image = past.bytes;
    ASSERT_EQ(patch_fixup_descriptors(image, kModule, FixupForm::kBootblock), std::nullopt);
    EXPECT_EQ(image, past.bytes);
}

TEST(FixupDescriptor, WrongVersionOrCheckByteEndsTheRun) {
    const auto stop = [](std::uint64_t at, std::uint8_t sub_version, int check_error, FixupForm form) {
        ImageBuilder b = patcher_image();
        b.put(at, table({{{}, {}, {}, {{0x260, 1}}, {}, {}}}, sub_version, check_error));
        try {
            patch_fixup_descriptors(b.bytes, kModule, form);
        } catch (const Fatal& f) {
            EXPECT_EQ(f.status, 1);
            return std::string(f.what());
        }
        return std::string("no stop");
    };
    EXPECT_EQ(stop(0x28100, 8, 0, FixupForm::kMain),
              "This version of FixupDescriptor table in bootext hasn't been supported!");
    EXPECT_EQ(stop(0x28100, 9, 1, FixupForm::kMain),
              "FixupDescriptor table define error in bootext! Please update it!");
    EXPECT_EQ(stop(0x38000, 10, 0, FixupForm::kMain),
              "This version of FixupDescriptor table in bootblock hasn't been supported!");
    EXPECT_EQ(stop(0x31000, 9, -1, FixupForm::kBootblock),
              "FixupDescriptor table define error in bootblock! Please update it!");
}

TEST(FixupDescriptor, EntryOutsideItsRegionRefusesTheWholeTable) {
    ImageBuilder b = patcher_image();
    // B is at window offset 0x8000: offset 0x7FFD + 4 reaches into the bootblock.
    b.put(0x28100, table({{{}, {}, {}, {{0x260, 1}}, {}, {{0x7FFD, 1}}}}));
    Bytes image = b.bytes;
    EXPECT_EQ(
        patch_fixup_descriptors(image, kModule, FixupForm::kMain),
        "Entry 7FFDh (category 5) of the FixupDescriptor table at 28100h in bootext writes past the bootext");
    EXPECT_EQ(image, b.bytes);
    b.put(0x31000, table({{{}, {{0xFFFA, 1}}, {}, {}, {}, {}}}));
    EXPECT_EQ(patch_fixup_descriptors(image = b.bytes, kModule, FixupForm::kBootblock),
              "Entry FFFAh (category 1) of the FixupDescriptor table at 31000h in bootblock writes past the "
              "bootblock");
}

TEST(FixupDescriptor, WithoutBootblockRecordBootextTablesArePassedOver) {
    ImageBuilder b = patcher_image(false);
    b.put(0x28100, table({{{}, {}, {}, {{0x260, 1}}, {}, {}}}, 7));  // not even its version is read
    b.put(0x38000, table({{{}, {}, {}, {{0x220, 1}}, {}, {}}}));
    Bytes image = b.bytes;
    ASSERT_EQ(patch_fixup_descriptors(image, kModule, FixupForm::kMain), std::nullopt);
    Bytes expected = b.bytes;
    base::write_u32(expected, 0x30220, kModule.entry_point);
    EXPECT_EQ(image, expected);
}

}  // namespace
}  // namespace kitra::regions
