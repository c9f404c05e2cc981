// The item loop and the end of run, through the built tool.
#include <gtest/gtest.h>

#include <algorithm>

#include "codec/module_header.h"
#include "platform/files.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"

namespace kitra::app {
namespace {

using base::Bytes;
using testing::ImageBuilder;
using testing::run_kitra;
using testing::stored_module;
using testing::TempDir;

const std::string kBanner = "kitra V1.99 [02/12/2010]\n";

ImageBuilder base_image() {
    ImageBuilder b(256 * 1024);
    b.put(0, stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    b.put_bootblock_record(0x20100, 0, 0xF000, 0x0000, 0xE000);
    return b;
}

struct Fixture {
    TempDir dir;
    Bytes image_bytes = base_image().bytes;
    Fixture() { write("bios.bin", image_bytes); }
    void write(const std::string& name, const Bytes& bytes) {
        ASSERT_TRUE(platform::write_file(dir.file(name), bytes));
    }
    Bytes image() { return *platform::read_file(dir.file("bios.bin")); }
    testing::Outcome run(std::vector<std::string> args) {
        args.insert(args.begin(), "bios.bin");
        return run_kitra(args, dir.path);
    }
    // Type IDs of the modules from the walk start on.
    std::vector<std::uint16_t> types() {
        const Bytes img = image();
        std::vector<std::uint16_t> out;
        std::uint64_t pos = 0x10000;
        while (auto m = codec::module_at(img, pos)) {
            out.push_back(m->type_id);
            pos += m->step();
        }
        return out;
    }
};

TEST(RunFlow, ItemsRunInOrderAndEachAdvancesPastItsArgument) {
    Fixture f;
    f.write("a.bin", Bytes(100, 1));
    f.write("b.bin", Bytes(200, 2));
    const auto o = f.run({"/oem1", "a.bin", "/oem2", "b.bin"});
    EXPECT_EQ(o.out, kBanner + "Adding a.bin  9.0%\nAdding b.bin  4.5%\n");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(f.types(), (std::vector<std::uint16_t>{0x4013, 0x4014}));
}

TEST(RunFlow, MissingComponentEndsTheLoopWithAndWithoutErr) {
    Fixture f;
    f.write("b.bin", Bytes(200, 2));
    auto o = f.run({"/vga", "missing.rom", "/oem2", "b.bin", "/err"});
    EXPECT_EQ(o.out, kBanner + "Can't open missing.rom file\n\n!!! Combine VGA have some error.\n");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(f.image(), f.image_bytes);  // not finished, nothing added

    o = f.run({"/vga", "missing.rom"});
    EXPECT_EQ(o.out, kBanner + "Can't open missing.rom file\n");
    EXPECT_EQ(o.status, 0);
}

TEST(RunFlow, CpucodeWithoutFileAdvancesByOneAndIsForgivenWhenAnItemFollows) {
    Fixture f;
    f.write("a.bin", Bytes(100, 1));
    auto o = f.run({"/cpucode", "/oem1", "a.bin", "/err"});
    EXPECT_EQ(o.out, kBanner + "CPUCODE.EXE file open error !!!\n\nAdding a.bin  9.0%\n");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(f.types(), (std::vector<std::uint16_t>{0x4013}));

    // Alone it ends the run quietly: no summary, no finishing.
    Fixture g;
    o = g.run({"/cpucode", "/err"});
    EXPECT_EQ(o.out, kBanner + "CPUCODE.EXE file open error !!!\n\n");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(g.image(), g.image_bytes);
}

TEST(RunFlow, PlainWordsEndTheLoopSilently) {
    for (const char* word : {"checksum", "noreserve", "/err"}) {
        Fixture f;
        f.write("a.bin", Bytes(100, 1));
        f.write("b.bin", Bytes(100, 2));
        const auto o = f.run({"/oem1", "a.bin", word, "/oem2", "b.bin"});
        EXPECT_EQ(o.out, kBanner + "Adding a.bin  9.0%\n") << word;
        EXPECT_EQ(f.types(), (std::vector<std::uint16_t>{0x4013})) << word;
    }
}

TEST(RunFlow, IsaWithSegmentAndOtherWithTypeTakeThreeWords) {
    Fixture f;
    f.write("isa.rom", testing::option_rom(0, 0, 1, 3));
    f.write("x.bin", Bytes(64, 4));
    f.write("y.bin", Bytes(64, 5));
    const auto o = f.run({"/isa", "isa.rom", "C800:0", "/other", "8000:0", "x.bin", "/oem0", "y.bin"});
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(f.types(), (std::vector<std::uint16_t>{0x40A0, 0x8000, 0x4012}));
    // The segment sits over the type ID suffix.
    const Bytes img = f.image();
    EXPECT_EQ(base::read_u16(img, 0x10000 + codec::field::kTypeSuffix), 0xC800);
}

// The refusal fails the item, so that /err reports it.
TEST(RunFlow, BadOtherTypeWordEndsTheLoopWithItsMessage) {
    Fixture f;
    f.write("x.bin", Bytes(64, 4));
    const auto o = f.run({"/other", "80G0:0", "x.bin", "/err"});
    EXPECT_EQ(o.out, kBanner + "Input parameter 80G0:0 error.\n!!! Combine Other have some error.\n");
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(f.image(), f.image_bytes);
}

// Every refusal fails its item, so that /err reports it, and writes nothing:
// no empty microcode area, no pointer to one. A table shorter than an ACPI
// header says so, and stops the run as a table of the wrong size does.
TEST(RunFlow, EveryRefusalFailsItsItem) {
    Bytes short_table(20, 0);
    short_table[4] = 20;  // its Length: its size
    const struct {
        std::vector<std::string> args;
        std::string out;
        int status;
    } cases[] = {
        {{"/group28", "x.bin", "/err"},
         "Group number 28 out of range (0-27).\n\n!!! Combine GROUP have some error.\n",
         53},
        {{"/NC_CPUCODE", "x.bin", "/err"},
         "x.bin is no \"MZ\" executable with a body; nothing is added to the microcode area.\n\n!!! Combine "
         "NC_CPUCODE have some error.\n",
         71},
        {{"/NC_CPUCODE", "x.bin"},
         "x.bin is no \"MZ\" executable with a body; nothing is added to the microcode area.\n",
         0},
        {{"/ACPIModule", "short.aml"},
         "Adding short.aml  70.0%\nThe ACPI SDT module short.aml file is shorter than an ACPI table header "
         "(36 "
         "bytes)! Please check it!\n",
         1},
    };
    for (const auto& c : cases) {
        Fixture f;
        f.write("x.bin", Bytes(64, 4));
        f.write("short.aml", short_table);
        const auto o = f.run(c.args);
        EXPECT_EQ(o.out, kBanner + c.out) << c.args[0];
        EXPECT_EQ(o.status, c.status) << c.args[0];
        EXPECT_EQ(f.image(), f.image_bytes) << c.args[0];
    }
}

TEST(RunFlow, ImageThatCannotBeUsedEndsWithStatusOneOnlyWithErr) {
    TempDir dir;
    auto o = run_kitra({"none.bin", "/D"}, dir.path);
    EXPECT_EQ(o.out, kBanner + "none.bin file not found");
    EXPECT_EQ(o.status, 0);
    o = run_kitra({"none.bin", "/vga", "x.rom", "/err"}, dir.path);
    EXPECT_EQ(o.status, 1);
    ASSERT_TRUE(platform::write_file(dir.file("small.bin"), Bytes(0x1000, 0xFF)));
    o = run_kitra({"small.bin", "/D"}, dir.path);
    EXPECT_EQ(o.out,
              kBanner +
                  "small.bin is too small for a system BIOS image (at least 128 KB). The image will be left "
                  "unmodified.\n");
}

TEST(RunFlow, ListingRunChangesNothingAndNamesTheImageFromLast) {
    Fixture f;
    const auto o = run_kitra({"/D"}, f.dir.path, "", std::string("bios"));
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(o.out.find("********     bios.bin BIOS component ********"), std::string::npos) << o.out;
    EXPECT_EQ(f.image(), f.image_bytes);
    EXPECT_EQ(f.dir.files(), std::vector<std::string>{"bios.bin"});
}

}  // namespace
}  // namespace kitra::app

namespace kitra::app {
namespace {

TEST(RunFlow, ListingThroughTheToolIsExactWhenPiped) {
    Fixture f;
    ImageBuilder b = base_image();
    std::uint64_t at = b.put_module(0x10000, stored_module("vga.rom", "4080:0", Bytes(0x200, 1)));
    Bytes logo = stored_module("logo.bmp", "4000:0", Bytes(0x100, 2));
    base::write_u32(logo, codec::field::kOriginalSize, 0x1A2B3);
    codec::update_header_sum(logo);
    b.put_module(at, logo);
    b.put_bs1_record(0x2A100, 0xFFFDE000, 0x10);  // microcode area at 0x1E000
    b.put_trailer(0x1E000 + 0x800, "*ALIN16*", 0x800, "NCPUCODE.BIN");
    b.put_trailer(0x1C000 + 0x1000, "$TopHole", 0x1000, "TOP_HOLE.BIN");
    f.write("bios.bin", b.bytes);
    const auto o = f.run({"/D"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, kBanner +
                         "\n              ********     bios.bin BIOS component ********\n\n"
                         " No. Item-Name         Original-Size   Compressed-Size Original-File-Name \n" +
                         std::string(80, '=') +
                         "  0. System BIOS       00100h(0.25K) 10000h(64.00K) sys.rom\n"
                         "  1. VGA ROM[1]        00200h(0.50K)    00223h(0.53K)   vga.rom\n"
                         "  2. LOGO BitMap       1A2B3h(104.67K)  00124h(0.29K)   logo.bmp\n"
                         "(SP) TOPHOLE           01000h(4.00K)    01000h(4.00K)   TOP_HOLE.BIN\n"
                         "(SP) NCPUCODE          00800h(2.00K)    00800h(2.00K)   NCPUCODE.BIN\n"
                         "\n  Total compress code space  = 20000h(128.00K)\n"
                         "  Total compressed code size = 11B87h(70.88K)\n"
                         "  Remain compress code space = 0BCB9h(47.18K)\n"
                         "  Top Hole wasted code space = 00FE0h(3.97K)\n"
                         "\n                          ** Micro Code Information **\n"
                         "Update ID  CPUID  | Update ID  CPUID   | Update ID  CPUID   | Update ID  CPUID  \n"
                         "------------------+--------------------+--------------------+-------------------");
    EXPECT_EQ(f.image(), b.bytes);
}

}  // namespace
}  // namespace kitra::app

namespace kitra::app {
namespace {

// What the items before a failure changed stays and is finished: the image
// is byte for byte the one the run without the failing item makes, whatever
// the failure did to the error code or the component mark. Messages and exit
// status are those of the failure.
TEST(RunFlow, ChangesBeforeAFailureOrAListingAreFinished) {
    struct Case {
        std::vector<std::string> args, without_failure;
        std::string out;
        int status;
    };
    const std::string added = kBanner + "Adding a.bin  9.0%\n";
    const Case cases[] = {
        {{"/other", "8000:0", "a.bin", "/vga", "missing.rom", "/err"},
         {"/other", "8000:0", "a.bin"},
         added + "Can't open missing.rom file\n\n!!! Combine VGA have some error.\n",
         1},
        {{"/oem1", "a.bin", "/vga", "missing.rom"},
         {"/oem1", "a.bin"},
         added + "Can't open missing.rom file\n",
         0},
        {{"/oem1", "a.bin", "/cpucode", "/err"},
         {"/oem1", "a.bin"},
         added + "CPUCODE.EXE file open error !!!\n\n",
         0},
    };
    for (const Case& c : cases) {
        Fixture expected;
        expected.write("a.bin", Bytes(100, 1));
        ASSERT_EQ(expected.run(c.without_failure).status, 0);
        Fixture f;
        f.write("a.bin", Bytes(100, 1));
        const auto o = f.run(c.args);
        EXPECT_EQ(o.out, c.out);
        EXPECT_EQ(o.status, c.status);
        const Bytes img = f.image();
        EXPECT_EQ(img, expected.image()) << c.args[0];
        EXPECT_EQ(base::sum16_le(img), 0);
    }
    // A listing at the end does not leave the additions before it unfinished.
    Fixture expected, f;
    expected.write("a.bin", Bytes(100, 1));
    f.write("a.bin", Bytes(100, 1));
    ASSERT_EQ(expected.run({"/oem1", "a.bin"}).status, 0);
    ASSERT_EQ(f.run({"/oem1", "a.bin", "/D"}).status, 0);
    EXPECT_EQ(f.image(), expected.image());
}

}  // namespace
}  // namespace kitra::app

namespace kitra::app {
namespace {

// Whole runs on an image with the bootblock flag, whose checksum block at
// 0x2E000 sums from 0 to 0x2EFFE. The 1 KiB at the image checksum word are
// balanced only where they are a balance area (erased, or in balance form);
// code there, the checksum block's own code included, and "IMD$" areas keep
// their bytes. After an add, a release and a run that changes nothing, the
// checksum block's sum byte is right.
TEST(RunFlow, BalanceAreaIsWrittenOnlyWhereTheImageHasOne) {
    struct Case {
        const char* what;
        std::uint16_t checksum_word;
        Bytes area;
        bool balanced;
    };
    Bytes balance_form(1024, 0xFF);
    base::write_u32(balance_form, 6, 0xFFFE0000u);
    Bytes marked = testing::pseudo_random_bytes(1024, 2);
    base::copy_into(marked, 0, base::view_of("IMD$"));
    const Case cases[] = {
        {"code", 0xF000, testing::pseudo_random_bytes(1024, 1), false},
        {"the checksum block's code", 0xE000, testing::pseudo_random_bytes(1024, 3), false},
        {"erased", 0xF000, Bytes(1024, 0xFF), true},
        {"balance form", 0xF000, balance_form, true},
        {"IMD$", 0xF000, marked, false},
    };
    for (const Case& c : cases) {
        const std::uint32_t area = 0x20000u + c.checksum_word;
        ImageBuilder b(256 * 1024);
        b.put(0, stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
        b.put_bootblock_record(0x20100, 0, 0xE000, 0x0000, c.checksum_word, 0x02);
        b.put(area, c.area);
        Fixture f;
        f.write("bios.bin", b.bytes);
        f.write("a.bin", Bytes(100, 1));
        const std::vector<std::vector<std::string>> runs = {{"/oem1", "a.bin"}, {"/oem1", "release"}};
        for (const auto& args : runs) {
            const Bytes before = f.image();
            f.run(args);
            const Bytes img = f.image();
            EXPECT_NE(img, before) << c.what << ' ' << args[1];
            EXPECT_EQ(img[0x2EFFE], base::sum8(base::slice(img, 0, 0x2EFFE))) << c.what << ' ' << args[1];
            const base::ByteView now = base::slice(img, area, 1024);
            if (c.balanced) {
                EXPECT_EQ(base::sum16_le(img), 0) << c.what << ' ' << args[1];
                EXPECT_EQ(base::sum8(img), 0) << c.what << ' ' << args[1];
                EXPECT_TRUE(std::all_of(now.begin() + 1022, now.end(), [](auto x) { return x == 0xFF; }));
            } else {
                EXPECT_TRUE(std::equal(now.begin(), now.end(), c.area.begin())) << c.what << ' ' << args[1];
            }
        }
        const Bytes before = f.image();
        EXPECT_EQ(f.run({"/oem2", "release"}).out, kBanner + "Can't found [OEM2] ROM...\n") << c.what;
        EXPECT_EQ(f.image(), before) << c.what;
    }
}

}  // namespace
}  // namespace kitra::app
