// PE32 and memory-init modules of the compressed area through the built
// tool: placed stored and aligned, rebased, checksummed, referenced from the
// bootblock, moved by a release, extracted, and refused when bad.
#include <gtest/gtest.h>

#include "codec/module_header.h"
#include "platform/files.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"
#include "support/test_data.h"

namespace kitra::testing {
namespace {

const std::string kBanner = "kitra V1.99 [02/12/2010]\n";

// 256 KiB: the system BIOS at 0, so modules start at 0x10000 and end below
// 0x20000; "*BS1" at 0x2A000 and "*BBSS*" with W = 800Fh (G = F800h, checksum
// region 0x28000-0x2AFFF, its byte at 0x2AFFF); a bootext FixupDescriptor
// table for kind 1 at 0x28100: category 1 at 0x270, 3 at 0x260, 5 at 0x250.
constexpr std::uint64_t kLength = 0x40000;
constexpr std::uint64_t kRegion = 0x28000;
constexpr std::uint64_t kRegionLength = 0x3000;

ImageBuilder pe32_image(std::uint8_t table_version = 9) {
    ImageBuilder b(kLength);
    b.put(0, stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    b.put(kRegion, pseudo_random_bytes(kRegionLength, 3));
    b.put_u16(kRegion + 10, kRegionLength);
    b.put_bs1_record(0x2A000, 0xFFFFFFFF).put_u8(0x2A006, 0);
    b.put_bootblock_record(0x2A100, 0x800F, 0xF000, 0x0000, 0xE000);
    const std::uint8_t table[] = {0,    static_cast<std::uint8_t>(table_version),
                                  3,    0,
                                  1,    0,
                                  1,    0,
                                  1,    0x70,
                                  0x02, 1,
                                  0x60, 0x02,
                                  1,    0x50,
                                  0x02, 1};
    b.put_text(0x28100, "FixupDescriptor").put(0x28100 + 15, table);
    b.bytes[kRegion + kRegionLength - 1] =
        base::sum8(base::slice(base::ByteView(b.bytes), kRegion, kRegionLength - 1));
    return b;
}

bool region_sealed(const Bytes& image) {
    return image[kRegion + kRegionLength - 1] ==
           base::sum8(base::slice(base::ByteView(image), kRegion, kRegionLength - 1));
}

struct Session {
    TempDir dir;
    Outcome outcome;
    explicit Session(const Bytes& image) {
        EXPECT_TRUE(platform::write_file(dir.file("img.bin"), image));
        EXPECT_TRUE(platform::write_file(dir.file("pe.efi"), test_data("pe32/pe_reloc.efi")));
        EXPECT_TRUE(platform::write_file(dir.file("ht.efi"), test_data("pe32/ht_noreloc.efi")));
    }
    const Outcome& run(std::vector<std::string> args) {
        args.insert(args.begin(), "img.bin");
        outcome = run_kitra(args, dir.path);
        return outcome;
    }
    Bytes image() const { return *platform::read_file(dir.file("img.bin")); }
};

TEST(Pe32Module, AddedStoredAlignedRebasedChecksummedAndReferenced) {
    const ImageBuilder b = pe32_image();
    Session s(b.bytes);
    s.run({"/1PE32", "pe.efi"});
    EXPECT_EQ(s.outcome.out, kBanner + "Adding pe.efi  100.0%\n");
    EXPECT_EQ(s.outcome.status, 0);
    const Bytes image = s.image();

    // Header of 33 bytes at 0x10000: the data would start at 0x10021; the pad
    // of 0x5F zero bytes puts them on the 128-byte boundary 0x10080.
    const auto m = codec::module_at(image, 0x10000);
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->stored);
    EXPECT_EQ(m->type_id, 0x407B);
    EXPECT_EQ(image[0x10000 + m->header_size], 0x5F);
    EXPECT_EQ(m->packed_size, 0xE00u + 1 + 0x5F);
    EXPECT_EQ(m->original_size, 0xE01u);
    EXPECT_EQ(codec::header_sum(base::slice(base::ByteView(image), 0x10000, 33)), image[0x10001]);
    EXPECT_TRUE(std::all_of(image.begin() + 0x10021, image.begin() + 0x10080, [](auto x) { return x == 0; }));

    const std::uint32_t address = 0xFFFD0080;  // 0x10080 - image length
    const Bytes data(image.begin() + 0x10080, image.begin() + 0x10080 + 0xE01);
    const Bytes expected = pe_reloc_at(address);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), data.begin()));
    EXPECT_EQ(base::sum8(data), 0);  // the appended byte makes the sum 0

    EXPECT_EQ(base::read_u32(image, kRegion + 0x272) & 0xFFFFFF, address & 0xFFFFFF);
    EXPECT_EQ(image[kRegion + 0x277], address >> 24);
    EXPECT_EQ(base::read_u32(image, kRegion + 0x260), address + 0x400);
    EXPECT_EQ(base::read_u32(image, kRegion + 0x250), address);
    EXPECT_EQ(image[0x2A006], 0x80);  // "*BS1": the images carry their checksum byte
    EXPECT_TRUE(region_sealed(image));

    // Extract gives the image as placed, without its checksum byte.
    s.run({"/1PE32", "extract", "out.efi"});
    EXPECT_EQ(s.outcome.out, kBanner + "[1PE32] ROM is extracted to out.efi");
    EXPECT_EQ(*platform::read_file(s.dir.file("out.efi")), expected);
}

TEST(Pe32Module, ReleaseInFrontMovesAndRebasesItAndItStillSumsToZero) {
    ImageBuilder b = pe32_image();
    const std::uint64_t pe_at = b.put_module(0x10000, stored_module("vga.rom", "4080:0", Bytes(0x45, 0x56)));
    Session s(b.bytes);
    s.run({"/1PE32", "pe.efi"});
    ASSERT_EQ(s.outcome.status, 0);
    ASSERT_EQ(codec::module_at(s.image(), pe_at)->type_id, 0x407B);

    s.run({"/vga", "release"});
    EXPECT_EQ(s.outcome.out, kBanner + "VGA ROM - - - [1] : vga.rom\n[VGA-1] ROM is release\n");
    const Bytes image = s.image();
    const auto m = codec::module_at(image, 0x10000);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->type_id, 0x407B);
    EXPECT_EQ(image[0x10000 + m->header_size], 0x5F);
    const std::uint32_t address = 0xFFFD0080;
    const Bytes data(image.begin() + 0x10080, image.begin() + 0x10080 + 0xE01);
    const Bytes expected = pe_reloc_at(address);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), data.begin()));
    EXPECT_EQ(base::sum8(data), 0);
    EXPECT_EQ(base::read_u32(image, kRegion + 0x250), address);
    EXPECT_EQ(base::read_u32(image, kRegion + 0x260), address + 0x400);
    EXPECT_TRUE(region_sealed(image));
    // Behind it (its separator byte aside) everything up to the limit is erased.
    const std::uint64_t end = 0x10000 + m->step();
    EXPECT_TRUE(std::all_of(image.begin() + static_cast<std::ptrdiff_t>(end), image.begin() + 0x20000,
                            [](auto x) { return x == 0xFF; }));
}

TEST(Pe32Module, HtInitEntryCountsFromTheCodesFileOffset) {
    ImageBuilder b = pe32_image();
    b.put_text(0x28700, "HTINITENTRYPOINT");
    b.bytes[kRegion + kRegionLength - 1] =
        base::sum8(base::slice(base::ByteView(b.bytes), kRegion, kRegionLength - 1));
    Session s(b.bytes);
    s.run({"/HTINIT", "ht.efi"});
    ASSERT_EQ(s.outcome.status, 0);
    const Bytes image = s.image();
    // 16-byte unit: data at 0x10021 + 15 = 0x10030.
    EXPECT_EQ(image[0x10000 + 31], 15);
    EXPECT_EQ(base::read_u32(image, 0x10030 + 0x98 + 28), 0xFFFD0030u);
    EXPECT_EQ(base::read_u32(image, 0x28710), 0xFFFD0030u + 0x100C - 0x1000 + 0x200);
    EXPECT_EQ(base::sum8(base::slice(base::ByteView(image), 0x10030, 0x801)), 0);
    EXPECT_TRUE(region_sealed(image));
}

TEST(Pe32Module, SpaceCheckCountsThePad) {
    // A filler puts the free end at 0x1F160: with its pad of 127 bytes the
    // module ends one byte past the limit 0x20000; without it, it would fit.
    ImageBuilder b = pe32_image();
    b.put_module(0x10000, stored_module("f.bin", "4012:0", Bytes(61759, 0x22)));
    Session s(b.bytes);
    s.run({"/1PE32", "pe.efi", "/err"});
    EXPECT_EQ(s.outcome.out, kBanner +
                                 "Adding pe.efi  100.0%\n"
                                 "img.bin have not enough space for adding ROM. (Over 0001h bytes)\n\n"
                                 "\n!!! Combine 1PE32 have some error.\n");
    EXPECT_EQ(s.outcome.status, 127);
    EXPECT_EQ(s.image(), b.bytes);
}

TEST(Pe32Module, FileThatIsNoPe32ImageIsRefused) {
    const ImageBuilder b = pe32_image();
    Session s(b.bytes);
    ASSERT_TRUE(platform::write_file(s.dir.file("x.bin"), Bytes(64, 4)));
    s.run({"/MINIT", "x.bin", "/err"});
    EXPECT_EQ(s.outcome.out,
              kBanner +
                  "x.bin is not a usable PE32 image: it does not begin with \"MZ\"; the image is "
                  "left unmodified for it.\n"
                  "\n!!! Combine MINIT have some error.\n");
    EXPECT_EQ(s.outcome.status, 99);
    EXPECT_EQ(s.image(), b.bytes);
}

TEST(Pe32Module, UnsupportedTableEndsTheRunWithStatusOneAndNothingWritten) {
    const ImageBuilder b = pe32_image(8);
    Session s(b.bytes);
    s.run({"/1PE32", "pe.efi"});
    EXPECT_EQ(
        s.outcome.out,
        kBanner +
            "Adding pe.efi  100.0%\nThis version of FixupDescriptor table in bootext hasn't been supported!");
    EXPECT_EQ(s.outcome.status, 1);
    EXPECT_EQ(s.image(), b.bytes);
}

}  // namespace
}  // namespace kitra::testing
