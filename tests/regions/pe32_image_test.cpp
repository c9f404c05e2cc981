#include "regions/pe32_image.h"

#include <gtest/gtest.h>

#include "support/test_data.h"

namespace kitra::regions {
namespace {

using base::Bytes;
using testing::test_data;

// The fixtures' headers (see tests/data/pe32/README.md): "PE" at 0x80, the
// optional header at 0x98, its CheckSum field at 0x98 + 64, the section
// table at 0x178 (".reloc" fifth, at 0x218).
constexpr std::uint64_t kOptional = 0x98;
constexpr std::uint64_t kCheckSumField = kOptional + 64;
constexpr std::uint64_t kRelocHeader = 0x218;
constexpr std::uint64_t kRelocData = 0xC00;

Pe32Image read_ok(const Bytes& data) {
    auto read = read_pe32(data);
    if (auto* refused = std::get_if<std::string>(&read)) ADD_FAILURE() << *refused;
    return std::holds_alternative<Pe32Image>(read) ? std::get<Pe32Image>(read) : Pe32Image{};
}

std::string refusal(const Bytes& data) {
    const auto read = read_pe32(data);
    return std::holds_alternative<std::string>(read) ? std::get<std::string>(read) : "accepted";
}

TEST(Pe32Image, RelocatedImageIsTheImageLinkedAtTheNewBase) {
    // The same source linked at 0xFFF00000: every absolute address the
    // linker wrote differs, and the relocation must make exactly those.
    Bytes data = test_data("pe32/pe_reloc.efi");
    Bytes expected = test_data("pe32/pe_reloc_fff00000.efi");
    ASSERT_EQ(data.size(), expected.size());
    const Pe32Image image = read_ok(data);
    EXPECT_EQ(image.image_base, 0x10000000u);
    EXPECT_EQ(image.fixups.size(), 6u);
    EXPECT_EQ(relocate(data, image, 0xFFF00000, EntryForm::kPlain), 0xFFF00400u);
    // The linker's file checksum is no part of the relocation.
    std::copy_n(data.begin() + kCheckSumField, 4, expected.begin() + kCheckSumField);
    EXPECT_EQ(data, expected);
}

TEST(Pe32Image, TypesOneAndTwoChangeOnlyTheirOwnSixteenBits) {
    Bytes data = test_data("pe32/pe_high_low.efi");
    const Bytes before = data;
    const Pe32Image image = read_ok(data);
    ASSERT_EQ(image.fixups.size(), 8u);  // six of type 3, then one each of types 1 and 2
    // Delta 0x0011F020: both halves carry out of their 16 bits.
    relocate(data, image, 0x1011F020, EntryForm::kPlain);
    EXPECT_EQ(base::read_u16(data, 0x800), 0x0001);  // FFF0 + 0011; the DIR64 and padding entries add nothing
    EXPECT_EQ(base::read_u16(data, 0x802), 0x1111);
    EXPECT_EQ(base::read_u16(data, 0x804), 0xF010);  // FFF0 + F020
    EXPECT_EQ(base::read_u16(data, 0x806), 0x2222);
    EXPECT_EQ(base::read_u32(data, 0x808), base::read_u32(before, 0x808) + 0x11F020);
}

TEST(Pe32Image, ImageWithoutRelocationsGetsOnlyItsBaseAndAFileOffsetEntry) {
    Bytes data = test_data("pe32/ht_noreloc.efi");
    Bytes expected = data;
    const Pe32Image image = read_ok(data);
    EXPECT_TRUE(image.fixups.empty());
    // Entry RVA 0x100C in code at RVA 0x1000 that lies at file offset 0x200.
    EXPECT_EQ(relocate(data, image, 0xFFFE0000, EntryForm::kFileOffset), 0xFFFE020Cu);
    base::write_u32(expected, kOptional + 28, 0xFFFE0000);
    EXPECT_EQ(data, expected);
    EXPECT_EQ(relocate(data, read_ok(data), 0xFFFE0000, EntryForm::kPlain), 0xFFFE100Cu);
}

TEST(Pe32Image, ChecksumByteIgnoresItsOldValue) {
    Bytes data = test_data("pe32/pe_reloc.efi");
    data.push_back(0x5A);  // a stale checksum of an earlier place
    set_image_checksum(data);
    EXPECT_EQ(base::sum8(data), 0);
    const std::uint8_t first = data.back();
    set_image_checksum(data);
    EXPECT_EQ(data.back(), first);
}

TEST(Pe32Image, DamagedFilesAreRefusedWithTheReason) {
    const Bytes good = test_data("pe32/pe_reloc.efi");
    const auto with = [&](auto change) {
        Bytes d = good;
        change(d);
        return refusal(d);
    };
    EXPECT_EQ(with([](Bytes& d) { d[0] = 'Z'; }), "it does not begin with \"MZ\"");
    EXPECT_EQ(with([](Bytes& d) { d.resize(0x3E); }), "its \"MZ\" header is cut short");
    EXPECT_EQ(with([](Bytes& d) { base::write_u32(d, 0x3C, 0xDA0); }),
              "its PE headers at DA0h reach past the end of the file");
    EXPECT_EQ(with([](Bytes& d) { d[0x81] = 'X'; }), "there is no \"PE\" signature at 80h");
    EXPECT_EQ(with([](Bytes& d) { base::write_u16(d, kOptional, 0x20B); }),
              "its optional header is not a PE32 one (magic 020Bh, not 010Bh)");
    EXPECT_EQ(with([](Bytes& d) { base::write_u32(d, kOptional + 92, 0x20000000); }),
              "its data directory (536870912 entries) reaches past the end of the file");
    EXPECT_EQ(with([](Bytes& d) { base::write_u16(d, 0x86, 0xFFFF); }),
              "its section table (65535 sections) reaches past the end of the file");
    EXPECT_EQ(with([](Bytes& d) { base::write_u32(d, kRelocHeader + 8, 0x201); }),
              "its .reloc section (201h bytes at C00h) reaches past the end of the file");
    EXPECT_EQ(with([](Bytes& d) { base::write_u32(d, kRelocData + 4, 7); }),
              "the relocation block at C00h has a BlockSize of 7, under 8");
    EXPECT_EQ(with([](Bytes& d) { base::write_u32(d, kRelocData + 4, 0x16); }),
              "the relocation block at C00h (16h bytes) reaches past its section");
    EXPECT_EQ(with([](Bytes& d) { base::write_u32(d, kRelocData, 0xDFE); }),
              "a relocation of type 3 for RVA 11FFh lies past the end of the image");
}

TEST(Pe32Image, BlockOfSizeZeroEndsTheSectionAndOtherTypesAreNotChecked) {
    Bytes data = test_data("pe32/pe_high_low.efi");
    base::write_u32(data, kRelocData + 0x14 + 4, 0);  // the second block
    EXPECT_EQ(read_ok(data).fixups.size(), 6u);
    // Padding and DIR64 entries point anywhere: they are never written.
    data = test_data("pe32/pe_high_low.efi");
    base::write_u16(data, kRelocData + 0x14 + 12, 0xAFFF);
    base::write_u32(data, kRelocData + 0x14, 0x7FFFF000);
    EXPECT_EQ(refusal(data), "a relocation of type 1 for RVA 7FFFF000h lies past the end of the image");
    base::write_u16(data, kRelocData + 0x14 + 8, 0x0000);
    base::write_u16(data, kRelocData + 0x14 + 10, 0x0000);
    EXPECT_EQ(read_ok(data).fixups.size(), 6u);
}

}  // namespace
}  // namespace kitra::regions
