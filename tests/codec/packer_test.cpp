#include "codec/packer.h"

#include <gtest/gtest.h>

#include "base/fatal.h"
#include "base/text.h"
#include "codec/codec_test_support.h"
#include "codec/crc16.h"
#include "codec/module_header.h"

namespace kitra::codec {
namespace {

using base::read_u16;
using base::read_u32;
using base::write_u16;
using base::write_u32;
using test::Captured;

base::Bytes bytes_of(std::string_view s) {
    return base::Bytes(s.begin(), s.end());
}

std::string hex_of(base::ByteView b) {
    std::string s;
    for (std::uint8_t x : b) s += base::format("%02x", x);
    return s;
}

struct Packed {
    base::Bytes module;
    std::string out;
    std::string err;
};

Packed pack_with(base::ByteView input, PackMode mode, std::string_view name,
                 std::string_view type = "4080:0") {
    static Encoder enc;  // one per run, as the tool keeps it
    Captured cap;
    Packed p;
    p.module = pack(input, mode, name, type, enc, cap.report());
    p.out = cap.out();
    p.err = cap.err();
    return p;
}

std::string method_of(const base::Bytes& m) {
    return base::text_of(base::slice(m, 2, 5));
}

TEST(Pack, EmptyInputIsStoredWithRatioZero) {
    const Packed p = pack_with({}, PackMode::kCompress, "e.bin");
    EXPECT_EQ(p.out, "Adding e.bin  0.0%\n");
    // 27 + 5 header bytes, no data, the separator.
    EXPECT_EQ(hex_of(p.module), "1e" + hex_of(base::Bytes{header_sum(p.module)}) +
                                    "2d6c68302d"
                                    "00000000"
                                    "00000000"
                                    "0000"
                                    "8040"
                                    "2001"
                                    "05"
                                    "652e62696e"
                                    "0000"
                                    "20"
                                    "0000"
                                    "00");
    EXPECT_EQ(header_sum(p.module), p.module[1]);
}

TEST(Pack, OneByteAndRandomDataAreStored) {
    const Packed one = pack_with(bytes_of("Z"), PackMode::kCompress, "z");
    EXPECT_EQ(method_of(one.module), "-lh0-");
    EXPECT_EQ(one.out, "Adding z  100.0%\n");
    EXPECT_EQ(one.module.size(), 27u + 1 + 1 + 1);
    EXPECT_EQ(one.module[28], 'Z');

    const base::Bytes random = test::random_bytes(1000, 3);
    const Packed r = pack_with(random, PackMode::kCompress, "random.bin");
    EXPECT_EQ(r.out, "Adding random.bin  100.0%\n");
    EXPECT_EQ(method_of(r.module), "-lh0-");
    const auto info = module_at(r.module, 0);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->packed_size, 1000u);
    EXPECT_EQ(info->original_size, 1000u);
    EXPECT_EQ(read_u16(r.module, 22 + 10), crc16(random));
    EXPECT_TRUE(std::equal(random.begin(), random.end(), r.module.begin() + 37));
    EXPECT_EQ(r.module.back(), 0);
}

TEST(Pack, StoreModeStoresCompressibleText) {
    const base::Bytes text = test::text_like(5000, 1);
    const Packed stored = pack_with(text, PackMode::kStore, "readme.txt");
    EXPECT_EQ(stored.out, "Adding readme.txt  100.0%\n");
    EXPECT_EQ(method_of(stored.module), "-lh0-");
    EXPECT_EQ(stored.module.size(), 27u + 10 + 5000 + 1);
    const Packed p = pack_with(text, PackMode::kQuiet, "readme.txt");
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(method_of(p.module), "-lh5-");
}

TEST(Pack, ProgressAndRatioText) {
    const base::Bytes input(20000, 'a');
    const Packed p = pack_with(input, PackMode::kCompress, "a.bin");
    const auto info = module_at(p.module, 0);
    ASSERT_TRUE(info);
    const unsigned ratio = pack_ratio(info->packed_size, 20000);
    EXPECT_EQ(p.out, base::format("Adding a.bin .. %u.%u%%\n", ratio / 10, ratio % 10));
    EXPECT_EQ(method_of(p.module), "-lh5-");
    EXPECT_EQ(info->original_size, 20000u);
}

TEST(Pack, RatioArithmetic) {
    EXPECT_EQ(pack_ratio(0, 0), 0u);
    EXPECT_EQ(pack_ratio(1, 3), 333u);
    EXPECT_EQ(pack_ratio(2, 3), 667u);
    EXPECT_EQ(pack_ratio(1000, 1000), 1000u);
    EXPECT_EQ(pack_ratio(1, 2001), 0u);
    EXPECT_EQ(pack_ratio(1, 2000), 1u);  // 0.05% rounds up
    // Large sizes: divide the original instead of overflowing.
    EXPECT_EQ(pack_ratio(0xFFFFFFFFu, 0xFFFFFFFFu), 1000u);
    EXPECT_EQ(pack_ratio(3000000000u, 4000000000u), 750u);
    EXPECT_EQ(pack_ratio(429496729u, 429496730u), 1000u);
}

TEST(Pack, StoredNameAndTypeIdGoIntoTheHeader) {
    const Packed p = pack_with(test::text_like(3000, 2), PackMode::kCompress, "MY LOGO.BMP", "40b1:0");
    EXPECT_EQ(p.out.substr(0, 19), "Adding MY LOGO.BMP ");
    const auto info = module_at(p.module, 0);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->name, "MY LOGO.BMP");
    EXPECT_EQ(info->type_id, 0x40B1);
    EXPECT_EQ(info->type_suffix, 0);
    EXPECT_EQ(pack_with(test::text_like(3000, 2), PackMode::kCompress, "MY LOGO.BMP", "40B1:0").module,
              p.module);
    const Packed suffix = pack_with(bytes_of("x"), PackMode::kQuiet, "", "1234:5");
    EXPECT_EQ(read_u16(suffix.module, 15), 5);
    EXPECT_EQ(read_u16(suffix.module, 17), 0x1234);
    EXPECT_EQ(suffix.module[0], 25);
}

TEST(Pack, LongNamesAndTypeTextsAreRefused) {
    EXPECT_NO_THROW(pack_with(bytes_of("x"), PackMode::kQuiet, std::string(230, 'n')));
    EXPECT_THROW(pack_with(bytes_of("x"), PackMode::kQuiet, std::string(231, 'n')), Fatal);
    EXPECT_NO_THROW(pack_with(bytes_of("x"), PackMode::kQuiet, "n", "4080:0000"));
    try {
        pack_with(bytes_of("x"), PackMode::kCompress, "n", "4080:00000");
        ADD_FAILURE() << "no Fatal";
    } catch (const Fatal& f) {
        EXPECT_STREQ(f.what(), "Type ID text too long (10 characters, at most 9): 4080:00000\n");
        EXPECT_EQ(f.status, 1);
    }
}

// Exact modules: a change of match choice, block layout or header shows here.
TEST(Pack, PinnedModules) {
    EXPECT_EQ(
        hex_of(pack_with(base::Bytes(20000, 'a'), PackMode::kQuiet, "a").module),
        "1ab52d6c68352d16000000204e00000000804020010161f972200000005028044bfc26e5366640100000000000000000"
        "001800");
    EXPECT_EQ(
        hex_of(pack_with(test::text_like(600, 5), PackMode::kQuiet, "t.txt", "4101:0").module),
        "1e6c2d6c68352dd10000005802000000000141200105742e747874a3b120000000a3539291a50cc77403f90c743de16a"
        "db12b640ac34e9ff7b806c6c0d626d3d05b2f849d17d4535ad3b4a2b08ea99695cfda2fc8252b0fba45329d7645e3aa9"
        "919ec965c98032ca7b6f3f90aeedd88e2345aed28deb0ff40f7ad89835f6abe75847b980a2db39257cbfcfd246b82ac1"
        "62224df9d9e00e54e215c8e580df00b37705eb0e78aa89e2956beb927d7544c278debffa5e970f2a1157e328fe941020"
        "d7246020883058c2a3493645294e32c3f60d16107072b1882eea345031daefbc388107b84f3c3a8bfe1e1d7e11d8aaaf"
        "e400");
    EXPECT_EQ(
        hex_of(pack_with(test::code_like(400, 6), PackMode::kQuiet, "c.rom", "4080:0").module),
        "1ee52d6c68352d420100009001000000008040200105632e726f6dffca200000010d5a83dab306f634367b66e035a253"
        "4d295ad3248a703837dff02b0bd381c2d3816389c06d4e04a495bebedc589b85c0944e3de53835a709c0e1cca4a4e26d"
        "38bf4e24701c27dfffeb4c02369320d3145ba7f3007b35583ee5fd208a287bf7e2daa6ef4f0f4f3b15e9904230d44835"
        "0fe855bd242ae465794d2fe5e1524de58af59cba419e28b84f54e6e38fa905d8a1e283b44188287527b6e952903b1431"
        "a5c70fa377eb06027926e2e367103228b492995bf420cc58d7de552290651d54f87337b1135c8200a194fc460301a068"
        "329499c5ff86afbcd6f2f6790641845519041ac28b99cd2d6adb466dea7828d5beab3d57330832cc72d1de27bbdb7a3f"
        "5903071af467c4110eea696cfcff39986d0a1d906d9e18bc6d9bf6dcae688c59e4c38393525d99632d0dfaa2c7209028"
        "b5f77091ea2e9faf1365c2d9b6371aa0bc2400");
}

TEST(Unpack, RoundTripsCompressedAndStored) {
    Captured cap;
    for (const base::Bytes& input : {test::code_like(70000, 1), test::random_bytes(3000, 2), base::Bytes{}}) {
        const Packed p = pack_with(input, PackMode::kQuiet, "f");
        EXPECT_EQ(unpack(p.module, cap.report()), input);
    }
    EXPECT_EQ(cap.out() + cap.err(), "");
}

TEST(Unpack, MethodFourDecodesLikeFive) {
    Packed p = pack_with(test::text_like(5000, 1), PackMode::kQuiet, "f");
    p.module[5] = '4';
    update_header_sum(p.module);
    Captured cap;
    EXPECT_EQ(unpack(p.module, cap.report()), test::text_like(5000, 1));
}

TEST(Unpack, UnknownMethodIsReportedOnTheErrorStream) {
    Packed p = pack_with(test::text_like(5000, 1), PackMode::kQuiet, "f");
    p.module[5] = '6';
    update_header_sum(p.module);
    Captured cap;
    EXPECT_EQ(unpack(p.module, cap.report()), std::nullopt);
    EXPECT_EQ(cap.err(), "Unknown method: 54\n");
    EXPECT_EQ(cap.out(), "");
}

TEST(Unpack, HeaderSumError) {
    Packed p = pack_with(test::text_like(5000, 1), PackMode::kQuiet, "f");
    p.module[12] ^= 1;
    Captured cap;
    try {
        (void)unpack(p.module, cap.report());
        ADD_FAILURE() << "no Fatal";
    } catch (const Fatal& f) {
        EXPECT_STREQ(f.what(), "Header sum error\n");
        EXPECT_EQ(f.status, 1);
    }
}

TEST(Unpack, NoModule) {
    Captured cap;
    EXPECT_EQ(unpack({}, cap.report()), std::nullopt);
    EXPECT_EQ(unpack(base::Bytes{0, 0, 0}, cap.report()), std::nullopt);
    const Packed p = pack_with(bytes_of("hello"), PackMode::kQuiet, "f");
    EXPECT_EQ(unpack(base::ByteView(p.module).first(20), cap.report()), std::nullopt);
    EXPECT_EQ(cap.out(),
              "No module: the header size is 0 (end of the modules)\n"
              "No module: the header size is 0 (end of the modules)\n"
              "No module: the header is cut short\n");
}

TEST(Unpack, CutShortData) {
    Captured cap;
    // Stored: the contents must all be there.
    const Packed stored = pack_with(test::random_bytes(3000, 2), PackMode::kQuiet, "f");
    try {
        (void)unpack(base::ByteView(stored.module).first(1000), cap.report());
        ADD_FAILURE() << "no Fatal";
    } catch (const Fatal& f) {
        EXPECT_STREQ(f.what(), "Can't read\n");
    }
    // Compressed: the reader supplies zero bits and the size is kept.
    const base::Bytes input = test::text_like(30000, 3);
    const Packed packed = pack_with(input, PackMode::kQuiet, "f");
    const auto out = unpack(base::ByteView(packed.module).first(packed.module.size() / 3), cap.report());
    ASSERT_TRUE(out);
    EXPECT_EQ(out->size(), input.size());
    EXPECT_TRUE(std::equal(input.begin(), input.begin() + 2000, out->begin()));
}

TEST(Unpack, PaddingBetweenHeaderAndDataIsSkipped) {
    const base::Bytes input = test::code_like(9000, 4);
    const Packed p = pack_with(input, PackMode::kQuiet, "pe32");
    const std::size_t header = 27 + 4;
    base::Bytes padded(p.module.begin(), p.module.begin() + header);
    padded.insert(padded.end(), 16, 0);
    padded.insert(padded.end(), p.module.begin() + header, p.module.end());
    write_u32(padded, 7, read_u32(padded, 7) + 16);
    write_u16(padded, header - 2, 16);
    update_header_sum(padded);
    Captured cap;
    EXPECT_EQ(unpack(padded, cap.report()), input);
}

TEST(Unpack, HugeOriginalSizeIsRefused) {
    Packed p = pack_with(test::text_like(5000, 1), PackMode::kQuiet, "f");
    write_u32(p.module, 11, 0xFFFFFFF0u);
    update_header_sum(p.module);
    Captured cap;
    EXPECT_EQ(unpack(p.module, cap.report()), std::nullopt);
    EXPECT_EQ(cap.out(), "No module: its original size (4294967280 bytes) is too large to unpack\n");
}

}  // namespace
}  // namespace kitra::codec
