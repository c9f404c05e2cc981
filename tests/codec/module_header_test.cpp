#include "codec/module_header.h"

#include <gtest/gtest.h>

#include "base/fatal.h"
#include "codec/crc16.h"
#include "codec/module_crc.h"
#include "support/image_builder.h"

namespace kitra::codec {
namespace {

TEST(ModuleHeader, NameLengthGivesHeaderSizeAndFieldPlaces) {
    HeaderFields f;
    f.type = parse_type_id_text("4080:0");
    base::Bytes empty_name = build_header(f);
    EXPECT_EQ(empty_name.size(), 27u);
    EXPECT_EQ(empty_name[0], 25);

    f.name = "original.tmp";
    f.crc = 0xBEEF;
    base::Bytes h = build_header(f);
    EXPECT_EQ(h[0], 37);
    EXPECT_EQ(base::read_u16(h, 34), 0xBEEF);
    EXPECT_EQ(h.size(), 39u);  // data from offset 39
    EXPECT_EQ(h[15], 0);
    EXPECT_EQ(h[16], 0);
    EXPECT_EQ(h[17], 0x80);
    EXPECT_EQ(h[18], 0x40);
    EXPECT_EQ(h[19], 0x20);
    EXPECT_EQ(h[20], 0x01);
    EXPECT_EQ(h[36], 0x20);
    EXPECT_EQ(header_sum(h), h[1]);
}

TEST(ModuleHeader, TypeIdTextIsOneLeftToRightPass) {
    EXPECT_EQ(parse_type_id_text("40b1:0").id, 0x40B1);
    EXPECT_EQ(parse_type_id_text("40B1:0").id, 0x40B1);
    EXPECT_EQ(parse_type_id_text("8000:12").suffix, 0x12);
    EXPECT_EQ(parse_type_id_text("0:0").id, 0);
    EXPECT_EQ(parse_type_id_text("4G80:0").id, 0x4080);    // a non-hex character counts 0
    EXPECT_EQ(parse_type_id_text("123456:1").id, 0x3456);  // low 16 bits
}

TEST(ModuleHeader, StoredNamesOver230BytesAreRefused) {
    HeaderFields f;
    f.name = std::string(230, 'a');
    EXPECT_EQ(build_header(f)[0], 255);
    f.name.push_back('a');
    EXPECT_THROW(build_header(f), Fatal);
}

TEST(ModuleHeader, ModuleAtStepsAndRefusesModulesReachingPastTheBuffer) {
    base::Bytes buf(0x200, 0xFF);
    const base::Bytes m = testing::stored_module("abcdefgh", "4001:0", base::Bytes(0x100, 7));
    std::copy(m.begin(), m.end(), buf.begin());
    auto info = module_at(buf, 0);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->step(), 33u + 0x100 + 3);
    EXPECT_EQ(info->type_id, 0x4001);
    EXPECT_EQ(info->name, "abcdefgh");
    EXPECT_TRUE(info->stored);
    EXPECT_EQ(buf[2 + 33 + 0x100], 0x00);  // separator

    EXPECT_FALSE(module_at(buf, info->step()));  // erased space
    base::write_u32(buf, 7, 0x1000);             // data would reach past the buffer
    EXPECT_FALSE(module_at(buf, 0));
    base::write_u32(buf, 7, 0xFFFFFFFF);  // erased packed size ends a walk
    EXPECT_FALSE(module_at(buf, 0));
    EXPECT_FALSE(module_at(buf, 0x1F0));  // too near the end for a header
}

TEST(Crc16, CheckValue) {
    EXPECT_EQ(crc16(base::view_of("123456789")), 0xBB3D);
}

// The CRC-16 after the stored name tells whether contents are the module's;
// a name length that runs past the header leaves no CRC to compare.
TEST(ModuleCrc, ContentsAreComparedWithTheCrcAfterTheName) {
    const base::Bytes contents = {'V', 'G', 'A'};
    base::Bytes module = testing::stored_module("vga.rom", "4080:0", contents);
    const auto good = check_contents(module, contents);
    ASSERT_TRUE(good);
    EXPECT_TRUE(good->matches());
    EXPECT_EQ(good->stored, crc16(contents));
    const auto bad = check_contents(module, base::Bytes{'V', 'G', 'a'});
    ASSERT_TRUE(bad);
    EXPECT_FALSE(bad->matches());
    EXPECT_EQ(bad->stored, crc16(contents));
    module[field::kNameLength] = module[field::kHeaderSize] - 19;  // the CRC would end past the header
    EXPECT_FALSE(stored_crc(module));
    EXPECT_FALSE(stored_crc(base::ByteView(module).first(field::kName)));
}

}  // namespace
}  // namespace kitra::codec
