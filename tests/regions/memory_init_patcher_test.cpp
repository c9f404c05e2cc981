// The memory-init and HTINIT patchers, which write an entry point (and for
// memory init the segments and descriptor bases that go with it).
#include "regions/memory_init_patcher.h"

#include <gtest/gtest.h>

#include "regions/htinit_patcher.h"
#include "regions/patcher_image.h"

namespace kitra::regions {
namespace {

using namespace testing_support;

constexpr std::uint32_t kEntry = 0xFFFC2010;
constexpr std::uint64_t kBootext = 0x28300;    // "BOOTEXTROMENTRYPOINT", segment word at +22
constexpr std::uint64_t kGdt = 0x28400;        // bootext "BootGDTtable"
constexpr std::uint64_t kMemInit = 0x28500;    // bootext "MEMINITENTRYPOINT"
constexpr std::uint64_t kBbGdt = 0x36000;      // bootblock "BootGDTtable" ...
constexpr std::uint64_t kBbMemInit = 0x36042;  // ... with its record right behind the third base
constexpr std::uint64_t kBases[] = {38, 46, 62};

ImageBuilder memory_init_image(bool bootext_record = true) {
    ImageBuilder b = patcher_image();
    b.put_text(kBootext, "BOOTEXTROMENTRYPOINT").put_u16(kBootext + 22, 0x1234);
    b.put_text(kGdt, "BootGDTtable");
    b.put_text(kBbGdt, "BootGDTtable");
    for (const std::uint64_t at : kBases) {
        b.put_u32(kGdt + at, 0x00012340 + static_cast<std::uint32_t>(at));
        b.put_u32(kBbGdt + at, 0x000E0000 + static_cast<std::uint32_t>(at));
    }
    if (bootext_record) b.put_text(kMemInit, "MEMINITENTRYPOINT").put_u16(kMemInit + 25, 0x1234);
    b.put_text(kBbMemInit, "MEMINITENTRYPOINT").put_u16(kBbMemInit + 25, 0xE000);
    seal(b.bytes);
    return b;
}

void rebase(Bytes& image, std::uint64_t gdt, std::uint32_t from, std::uint32_t to) {
    for (const std::uint64_t at : kBases)
        base::write_u32(image, gdt + at, base::read_u32(image, gdt + at) - from + to);
}

TEST(MemoryInitPatcher, MainFormPatchesBootextAndBootblockRecords) {
    ImageBuilder b = memory_init_image();
    Bytes image = b.bytes;
    patch_memory_init(image, kEntry, MemoryInitForm::kMain);
    Bytes expected = b.bytes;
    base::write_u16(expected, kBootext + 22, kSegment);
    base::write_u32(expected, kMemInit + 17, kEntry);
    base::write_u16(expected, kMemInit + 25, kSegment);
    rebase(expected, kGdt, 0x12340, 0xF8000);
    base::write_u32(expected, kBbMemInit + 17, kEntry);
    base::write_u16(expected, kBbMemInit + 25, 0xF000);  // the bootblock runs at F000
    rebase(expected, kBbGdt, 0xE0000, 0xF0000);
    seal(expected);
    EXPECT_EQ(image, expected);
    EXPECT_TRUE(sealed(image));
}

TEST(MemoryInitPatcher, ArenaModuleKeepsTheBootblockRecords) {
    ImageBuilder b = memory_init_image();
    put_arena(b, {"3011:0", "3010:0"});
    Bytes image = b.bytes;
    patch_memory_init(image, kEntry, MemoryInitForm::kMain);
    Bytes expected = b.bytes;
    base::write_u16(expected, kBootext + 22, kSegment);
    base::write_u32(expected, kMemInit + 17, kEntry);
    base::write_u16(expected, kMemInit + 25, kSegment);
    rebase(expected, kGdt, 0x12340, 0xF8000);
    seal(expected);
    EXPECT_EQ(image, expected);
}

TEST(MemoryInitPatcher, NoBootextRecordLeavesTheBootextTableAlone) {
    ImageBuilder b = memory_init_image(false);
    Bytes image = b.bytes;
    patch_memory_init(image, kEntry, MemoryInitForm::kMain);
    for (const std::uint64_t at : kBases)
        EXPECT_EQ(base::read_u32(image, kGdt + at), base::read_u32(b.bytes, kGdt + at));
    EXPECT_EQ(base::read_u32(image, kBbMemInit + 17), kEntry);
    EXPECT_TRUE(sealed(image));
}

TEST(MemoryInitPatcher, BootblockFormPatchesTheBootblockRecord) {
    ImageBuilder b = memory_init_image();
    Bytes image = b.bytes;
    patch_memory_init(image, kEntry, MemoryInitForm::kBootblock);
    Bytes expected = b.bytes;
    base::write_u16(expected, kBootext + 22, kSegment);
    base::write_u32(expected, kBbMemInit + 17, kEntry);
    base::write_u16(expected, kBbMemInit + 25, 0xF000);
    rebase(expected, kBbGdt, 0xE0000, 0xF0000);
    seal(expected);
    EXPECT_EQ(image, expected);
}

TEST(MemoryInitPatcher, WithoutBootblockRecordOnlyEntryPointsAndTheBootblockSegment) {
    ImageBuilder b = memory_init_image();
    b.put_text(kBs1 + 0x100, "*BBSX*");
    Bytes image = b.bytes;
    patch_memory_init(image, kEntry, MemoryInitForm::kMain);
    Bytes expected = b.bytes;
    base::write_u32(expected, kMemInit + 17, kEntry);
    base::write_u32(expected, kBbMemInit + 17, kEntry);
    base::write_u16(expected, kBbMemInit + 25, 0xF000);
    rebase(expected, kBbGdt, 0xE0000, 0xF0000);
    EXPECT_EQ(image, expected);
}

TEST(HtInitPatcher, FirstRecordInTheWindowGetsTheEntryPoint) {
    ImageBuilder b = patcher_image();
    b.put_text(0x28700, "HTINITENTRYPOINT").put_text(0x3B000, "HTINITENTRYPOINT");
    seal(b.bytes);
    Bytes image = b.bytes;
    patch_htinit(image, kEntry);
    Bytes expected = b.bytes;
    base::write_u32(expected, 0x28710, kEntry);
    seal(expected);
    EXPECT_EQ(image, expected);
}

}  // namespace
}  // namespace kitra::regions
