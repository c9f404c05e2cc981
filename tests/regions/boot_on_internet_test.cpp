// /BOI show and set through the built tool: exact output, block bytes and the
// bootblock checksum byte.
#include "regions/boot_on_internet.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/files.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"

namespace kitra::regions {
namespace {

using base::Bytes;
using testing::ImageBuilder;
using testing::run_kitra;
using testing::TempDir;

const std::string kBanner = "kitra V1.99 [02/12/2010]\n";
const std::string kHeading =
    "====================  Boot on internet parameters setting  ====================\n";

// 256 KiB. "*BBSS*" at 0x2F100 with W = 0xA000: the checksum region starts at
// 0x2A000, its length word (+10) says 0x400, so the checksum byte is 0x2A3FF.
// The block lies at 0x2A100, inside the region. Finishing writes only above
// 0x2E000 (checksum block, balance word).
constexpr std::uint64_t kBlock = 0x2A100;
constexpr std::uint64_t kChecksumByte = 0x2A3FF;
constexpr std::uint64_t kItemArea = 0x2E000;

ImageBuilder boi_image(std::uint16_t w = 0xA000) {
    ImageBuilder b(0x40000);
    b.put(0, testing::stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    b.put_bootblock_record(0x2F100, w, 0xF000, 0xE000, 0x2000);
    b.put(0x2A000, testing::pseudo_random_bytes(0x400, 5)).put_u16(0x2A00A, 0x400);
    const std::uint8_t block[] = {'$', 'B', 'O', 'I', 0,   192, 168, 0, 1, 192, 168, 0, 2, 255, 255,  0,
                                  0,   192, 168, 0,   254, 4,   4,   4, 4, 0,   0,   0, 0, 0,   0x50, 0x00};
    return b.put(kBlock, Bytes(std::begin(block), std::end(block)));
}

struct Session {
    TempDir dir;
    explicit Session(const Bytes& image) { EXPECT_TRUE(platform::write_file(dir.file("bios.bin"), image)); }
    Bytes image() const { return platform::read_file(dir.file("bios.bin")).value_or(Bytes{}); }
    testing::Outcome run(std::vector<std::string> args) {
        args.insert(args.begin(), "bios.bin");
        args.insert(args.begin() + 1, "/BOI");
        return run_kitra(args, dir.path);
    }
};

Bytes below_item_area(const Bytes& b) {
    return Bytes(b.begin(), b.begin() + kItemArea);
}

// `before` with the block's bytes from offset 4 replaced by `fields`, and the
// checksum byte at `checksum` moved by the change of the bytes from `first`.
Bytes expected_after(const Bytes& before, const Bytes& fields, std::uint64_t checksum,
                     std::uint64_t first = 4) {
    Bytes out = before;
    std::uint8_t change = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (4 + i >= first) change = static_cast<std::uint8_t>(change + fields[i] - out[kBlock + 4 + i]);
        out[kBlock + 4 + i] = fields[i];
    }
    out[checksum] = static_cast<std::uint8_t>(out[checksum] + change);
    return out;
}

const std::vector<std::string> kAllNine = {
    "5", "192.168.1.1", "10.0.0.2", "255.255.255.0", "10.0.0.254", "8.8.8.8,", "1", "10.0.0.8", "32896"};
const Bytes kAllNineBytes = {1, 192, 168, 1, 1, 10, 0, 0, 2,  255, 255, 255, 0,    10,
                             0, 0,   254, 8, 8, 8,  8, 1, 10, 0,   0,   8,   0x80, 0x80};

TEST(BootOnInternet, SetAllNineThenShow) {
    const Bytes before = boi_image().bytes;
    Session s(before);
    auto o = s.run(kAllNine);
    EXPECT_EQ(o.out, kBanner);
    EXPECT_EQ(o.status, 0);
    const Bytes after = s.image();
    EXPECT_EQ(below_item_area(after), below_item_area(expected_after(before, kAllNineBytes, kChecksumByte)));
    EXPECT_EQ(base::sum16_le(after), 0);  // the run was finished

    o = s.run({});
    EXPECT_EQ(o.out, kBanner + kHeading +
                         "        Use DHCP = 1h\n"
                         "        Server IP = 192.168.1.1        Static IP = 10.0.0.2\n"
                         "        Net Mask  = 255.255.255.0        Gate Way  = 10.0.0.254\n"
                         "        DNS      = 8.8.8.8\n"
                         "        Use Proxy = 1h\n"
                         "        Proxy IP = 10.0.0.8        Proxy Port = 8080h\n");
    EXPECT_EQ(s.image(), after);
}

TEST(BootOnInternet, OmittedValuesKeepTheirFieldsAndStayOutOfTheSums) {
    const Bytes before = boi_image().bytes;
    Session s(before);
    EXPECT_EQ(s.run({",", "", "10.0.0.2", ",1.2.3.4", "", "", "0", "", ","}).status, 0);
    Bytes fields(before.begin() + kBlock + 4, before.begin() + kBlock + 32);
    fields[5 - 4] = 192;  // server IP as it was
    const std::uint8_t static_ip[] = {10, 0, 0, 2};
    std::copy(std::begin(static_ip), std::end(static_ip), fields.begin() + (9 - 4));
    fields[25 - 4] = 0;
    EXPECT_EQ(below_item_area(s.image()), below_item_area(expected_after(before, fields, kChecksumByte)));
}

TEST(BootOnInternet, ChecksumFollowsOnlyTheBytesInsideItsRegion) {
    // W = 0xA110: the region starts at block offset 16, and its length word
    // is the proxy address's first two bytes (00 03), which are kept.
    ImageBuilder b = boi_image(0xA110);
    b.put_u16(kBlock + 26, 0x0300);
    const Bytes before = b.bytes;
    Session s(before);
    std::vector<std::string> values = kAllNine;
    values[7] = ",";
    EXPECT_EQ(s.run(values).status, 0);
    Bytes fields = kAllNineBytes;
    std::copy(before.begin() + kBlock + 26, before.begin() + kBlock + 30, fields.begin() + 22);
    EXPECT_EQ(below_item_area(s.image()), below_item_area(expected_after(before, fields, 0x2A40F, 16)));

    // The search for "*BBSS*" starts at image length - 0x16000: a record
    // below it leaves no checksum byte to adjust.
    ImageBuilder low = boi_image();
    low.fill(0x2F100 - 26, 32, 0xFF).put_bootblock_record(0x20100, 0xA000, 0xF000, 0xE000, 0x2000);
    Session t(low.bytes);
    EXPECT_EQ(t.run(kAllNine).status, 0);
    Bytes expected = expected_after(low.bytes, kAllNineBytes, kChecksumByte, 32);
    EXPECT_EQ(below_item_area(t.image()), below_item_area(expected));
}

TEST(BootOnInternet, RefusalsWriteNothingAndNameTheItemUnderErr) {
    struct Case {
        std::function<void(ImageBuilder&)> craft;
        std::string message;
    };
    const std::vector<Case> cases = {
        {[](ImageBuilder& b) { b.put_text(kBlock, "$BOX"); }, ""},
        {[](ImageBuilder& b) { b.put_u16(0x2A00A, 0); },
         "The bootblock record \"*BBSS*\" names a checksum region outside its window; the Boot On Internet "
         "parameters are not set.\n"},
        {[](ImageBuilder& b) { b.put_u16(0x2A00A, 0x107); },
         "The \"$BOI\" block lies over the bootblock checksum byte at 2A106h; the Boot On Internet "
         "parameters are "
         "not set.\n"},
    };
    for (const Case& c : cases) {
        ImageBuilder b = boi_image();
        c.craft(b);
        Session s(b.bytes);
        std::vector<std::string> values = kAllNine;
        values.emplace_back("/err");
        auto o = s.run(values);
        EXPECT_EQ(o.out, kBanner + c.message + "\n!!! Combine BOI have some error.\n");
        EXPECT_EQ(o.status, 138);
        EXPECT_EQ(s.image(), b.bytes);
    }
    // Without /err a block that is not there is silent.
    ImageBuilder b = boi_image();
    b.put_text(kBlock, "$BOX");
    Session s(b.bytes);
    EXPECT_EQ(s.run(kAllNine).out, kBanner);
    EXPECT_EQ(s.run({}).out, kBanner + kHeading);
    EXPECT_EQ(s.image(), b.bytes);
}

TEST(BootOnInternet, LaterInTheItemListReadsTheWordsAfterIt) {
    Session s(boi_image().bytes);
    ASSERT_TRUE(platform::write_file(s.dir.file("a.bin"), Bytes(100, 1)));
    const auto o = run_kitra({"bios.bin", "/oem2", "a.bin", "/boi", "1", "/err"}, s.dir.path);
    EXPECT_EQ(
        o.out.substr(kBanner.size()),
        "Adding a.bin  9.0%\nThe input BOI parameters are wrong!\n\n!!! Combine BOI have some error.\n");
    EXPECT_EQ(o.status, 138);
}

}  // namespace
}  // namespace kitra::regions
