// Hole areas through the built tool (add, release, extract, failures) and
// the hole lines of the listing.
#include "regions/hole_areas.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/files.h"
#include "support/captured_console.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"

namespace kitra::regions {
namespace {

using base::Bytes;
using testing::ImageBuilder;
using testing::pseudo_random_bytes;
using testing::run_kitra;
using testing::TempDir;

const std::string kBanner = "kitra V1.99 [02/12/2010]\n";

// 256 KiB. The directory at 0x24000 lists hole 0 (page 0x22, 1 page), hole 1
// (page 0x25, 2 pages) and hole 3 (page 0x10, 17 pages); the table page is
// 0x28. "*BBSS*" at 0x2F100 puts the compressed area's end at 0x2E000, so
// finishing writes only above it (checksum block, balance word) and every
// byte below is the work of the items.
constexpr std::uint64_t kTable = 0x28000;
constexpr std::uint64_t kHole1 = 0x25000;
constexpr std::uint64_t kHole3 = 0x10000;
constexpr std::uint64_t kItemArea = 0x2E000;
constexpr std::uint64_t kRecord = 32;

ImageBuilder hole_image() {
    ImageBuilder b(0x40000);
    b.put(0, testing::stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    b.put_bootblock_record(0x2F100, 0, 0xF000, 0xE000, 0x2000);
    b.put(kHole3, pseudo_random_bytes(0x11000, 1)).put(0x22000, pseudo_random_bytes(0x1000, 2));
    b.put(kHole1, pseudo_random_bytes(0x2000, 3));
    b.put_text(0x24000, "*HOLE*").put_u16(0x24006, 20).put_u16(0x24008, 0x28);
    const std::uint16_t entries[] = {0x90, 0x22, 1, 0x91, 0x25, 2, 0x93, 0x10, 0x11, 0xFFFF};
    for (std::size_t i = 0; i < std::size(entries); ++i) b.put_u16(0x2400A + 2 * i, entries[i]);
    return b;  // the table page is erased
}

// A table as an earlier add leaves it: three empty records and the end.
ImageBuilder with_table(ImageBuilder b) {
    return b.fill(kTable, 3 * kRecord, 0).put_u16(kTable + 3 * kRecord, 0xFFFF);
}

ImageBuilder& put_record(ImageBuilder& b, int n, std::uint32_t size, std::string_view name) {
    const std::uint64_t at = kTable + 32 * static_cast<std::uint64_t>(n);
    b.fill(at, 32, 0).put_u16(at, static_cast<std::uint16_t>(0x90 + n)).put_u32(at + 2, size);
    return b.put_text(at + 6, name.substr(0, 26));
}

struct Session {
    TempDir dir;
    explicit Session(const Bytes& image) { write("bios.bin", image); }
    void write(const std::string& name, const Bytes& bytes) {
        ASSERT_TRUE(platform::write_file(dir.file(name), bytes));
    }
    Bytes read(const std::string& name) const {
        return platform::read_file(dir.file(name)).value_or(Bytes{});
    }
    Bytes image() const { return read("bios.bin"); }
    testing::Outcome run(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), "bios.bin");
        return run_kitra(args, dir.path, input);
    }
};

Bytes below_item_area(const Bytes& b) {
    return Bytes(b.begin(), b.begin() + kItemArea);
}

TEST(HoleAdd, ErasedTableFileOfTheHolesSizeAndChecksum) {
    const ImageBuilder before = hole_image();
    Session s(before.bytes);
    const Bytes file = pseudo_random_bytes(0x2000, 9);
    s.write("a.bin", file);
    const auto o = s.run({"/HOLE1", "a.bin", "CheckSum"});
    EXPECT_EQ(o.out, kBanner + "a.bin doesn't compress \n");
    EXPECT_EQ(o.status, 0);

    ImageBuilder expected = with_table(before);
    expected.put_u16(kTable + 32, 0x91)
        .put_u32(kTable + 34, 0x2000)
        .put_text(kTable + 38, std::string_view("a.bin\0", 6));
    Bytes data = file;
    data.back() = base::sum8(base::ByteView(data).first(0x1FFF));  // the sum itself, not its negation
    expected.put(kHole1, data);
    const Bytes after = s.image();
    EXPECT_EQ(below_item_area(after), below_item_area(expected.bytes));
    EXPECT_EQ(base::sum16_le(after), 0);  // the run was finished
}

TEST(HoleAdd, LongNameIsCutTo26BytesAndTheRestOfTheHoleStays) {
    const ImageBuilder before = with_table(hole_image());
    Session s(before.bytes);
    const std::string name = "abcdefghijklmnopqrstuvwxyz0123.bin";
    s.write(name, Bytes(0x100, 0x5A));
    EXPECT_EQ(s.run({"/hole1", name}).status, 0);
    ImageBuilder expected = before;
    expected.put_u16(kTable + 32, 0x91).put_u32(kTable + 34, 0x100).put_text(kTable + 38, name.substr(0, 26));
    expected.put(kHole1, Bytes(0x100, 0x5A));
    EXPECT_EQ(below_item_area(s.image()), below_item_area(expected.bytes));
}

TEST(HoleAdd, FailuresChangeNothingAndNameTheItemUnderErr) {
    struct Case {
        std::string option;
        std::size_t file_size;
        std::function<void(ImageBuilder&)> craft;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"/HOLE1", 0x2001, nullptr, "Hole Structure information of BIOS file doesn't match \n"},
        {"/HOLE2", 0x10, nullptr, "Hole Structure information of BIOS file doesn't match \n"},
        {"/HOLE1", 0x10, [](ImageBuilder& b) { b.put_text(0x24000, "*HOLE-"); },
         "BIOS file doesn't support Hole \n"},
        {"/HOLE1", 0x10, [](ImageBuilder& b) { b.put_u16(0x24008, 0x40); },
         "The hole table page at 40000h lies outside the image; the image will be left unmodified.\n"},
        {"/HOLE3", 0x10, [](ImageBuilder& b) { b.put_u16(0x24018, 0x3F); },
         "HOLE3 (11000h bytes at 3F000h) lies outside the image; the image will be left unmodified.\n"},
        {"/HOLE1", 0x10, [](ImageBuilder& b) { b.fill(0x2400A + 18, 0x1000 - 28, 0); },
         "The hole directory lists 681 holes, more than a hole table page holds; the image will be left "
         "unmodified.\n"},
        {"/HOLE0", 0, [](ImageBuilder& b) { b.put_u16(0x2400E, 0); },
         "HOLE0 has no pages, so it has no last byte for a checksum; the image will be left unmodified.\n"},
    };
    for (const Case& c : cases) {
        ImageBuilder b = hole_image();  // erased table: a failed add leaves it erased
        if (c.craft) c.craft(b);
        Session s(b.bytes);
        s.write("a.bin", Bytes(c.file_size, 1));
        const auto o = s.run({c.option, "a.bin", "checksum", "/err"});
        EXPECT_EQ(o.out, kBanner + "a.bin doesn't compress \n" + c.message + "\n!!! Combine " +
                             c.option.substr(1) + " have some error.\n")
            << c.option;
        EXPECT_EQ(o.status, 118 + (c.option.back() - '0'));
        EXPECT_EQ(s.image(), b.bytes) << c.message;
    }
}

TEST(HoleRelease, ClearsTheRecordKeepsTheDataAndDropsTheListingLine) {
    ImageBuilder before = with_table(hole_image());
    put_record(before, 1, 0x1800, "one.bin");
    put_record(before, 3, 0x10400, "three.bin");
    Session s(before.bytes);
    auto o = s.run({"/HOLE3", "release"});
    EXPECT_EQ(o.out, kBanner + "HOLE3 is release\n");
    ImageBuilder expected = before;
    expected.fill(kTable + 3 * kRecord, kRecord, 0);
    const Bytes after = s.image();
    EXPECT_EQ(below_item_area(after), below_item_area(expected.bytes));
    EXPECT_EQ(base::sum16_le(after), 0);  // the run was finished

    o = s.run({"/D"});
    EXPECT_NE(o.out.find("(SP) HOLE1"), std::string::npos);
    EXPECT_EQ(o.out.find("(SP) HOLE3"), std::string::npos);

    o = s.run({"/HOLE3", "release", "/err"});
    EXPECT_EQ(o.out, kBanner + "This Hole area doesn't have data. \n\n!!! Combine HOLE3 have some error.\n");
    EXPECT_EQ(o.status, 121);
    o = s.run({"/HOLE2", "extract", "/err"});
    EXPECT_EQ(
        o.out,
        kBanner +
            "Hole Structure information of BIOS file doesn't match \n\n!!! Combine HOLE2 have some error.\n");
}

TEST(HoleExtract, WholeRecordedSizeToTheWholeTypedLineOrTheDefault) {
    ImageBuilder b = with_table(hole_image());
    put_record(b, 3, 0x10400, "three.bin");
    Session s(b.bytes);
    const Bytes data(b.bytes.begin() + kHole3, b.bytes.begin() + kHole3 + 0x10400);

    const std::string typed = "a name longer than twenty-six characters.bin";
    auto o = s.run({"/HOLE3", "extract"}, typed + "\r\n");
    EXPECT_EQ(o.out,
              kBanner + "Enter an extract file Name :(tempdrive.rom) HOLE3 extracted to " + typed + "\n");
    EXPECT_EQ(s.read(typed), data);

    o = s.run({"/HOLE3", "extract"});  // end of input
    EXPECT_EQ(o.out,
              kBanner + "Enter an extract file Name :(tempdrive.rom) HOLE3 extracted to tempdrive.rom\n");
    EXPECT_EQ(s.read("tempdrive.rom"), data);
    EXPECT_EQ(s.image(), b.bytes);

    o = s.run({"/HOLE3", "extract"}, "bios.bin\n");
    EXPECT_EQ(o.out,
              kBanner +
                  "Enter an extract file Name :(tempdrive.rom) bios.bin is the image being edited; nothing "
                  "is extracted over it.\n");
    EXPECT_EQ(s.image(), b.bytes);

    // A record larger than its hole would read past it.
    put_record(b, 3, 0x11001, "three.bin");
    Session t(b.bytes);
    o = t.run({"/HOLE3", "extract", "/err"}, "x.bin\n");
    EXPECT_EQ(o.out,
              kBanner +
                  "HOLE3 records 11001h bytes, more than its hole of 11000h bytes; nothing is extracted.\n"
                  "\n!!! Combine HOLE3 have some error.\n");
    EXPECT_EQ(t.read("x.bin"), Bytes{});
}

std::string hole_lines(const Bytes& image) {
    testing::CapturedConsole c;
    print_hole_lines(image, image::Layout{}, c.con);
    return c.out();
}

TEST(HoleListing, RecordsUpToTheEndThenTheTotal) {
    ImageBuilder b = with_table(hole_image());
    put_record(b, 0, 0x123, "abcdefghijklmnopqrstuvwxyz");              // 26 bytes, no NUL: listed whole
    put_record(b, 2, 0x10400, "three.bin").put_u16(kTable + 64, 0x93);  // listed by its ID
    b.put_u16(kTable + 96, 0xFFFF);
    put_record(b, 4, 5, "past.bin");  // after the end: not listed
    EXPECT_EQ(hole_lines(b.bytes),
              "(SP) HOLE0             123h(0.28K)        123h(0.28K)       abcdefghijklmnopqrstuvwxyz\n"
              "(SP) HOLE3             10400h(65.00K)     10400h(65.00K)    three.bin\n"
              "\n  Total hole area space      = 14000h(80.00K)\n");

    // A table page past the image's end lists no hole.
    b.put_u16(0x24008, 0xFFFF);
    EXPECT_EQ(hole_lines(b.bytes), "\n  Total hole area space      = 14000h(80.00K)\n");
    EXPECT_EQ(hole_lines(ImageBuilder(0x40000).bytes), "\n");
}

}  // namespace
}  // namespace kitra::regions
