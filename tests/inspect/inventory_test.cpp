// The inventory as JSON and as columns, compared with the documents kept
// under tests/data/inspect: the bundled sample, and crafted images with what
// the sample lacks (bootblock areas, holes, Boot On Internet, odd modules,
// no bootblock record). Every kept JSON document is checked against its
// schema.
#include "inspect/inventory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "base/text.h"
#include "codec/lzh_encoder.h"
#include "codec/packer.h"
#include "inspect/inventory_json.h"
#include "inspect/inventory_text.h"
#include "inspect/microcode_updates.h"
#include "inspect/space_report.h"
#include "inspect/verify.h"
#include "microcode/microcode_listing.h"
#include "support/byte_literals.h"
#include "support/crafted_images.h"
#include "support/external_program.h"
#include "support/golden.h"
#include "support/image_builder.h"
#include "support/microcode_builder.h"
#include "support/sample_image.h"

namespace kitra::inspect {
namespace {

using base::Bytes;
using testing::ImageBuilder;
using testing::operator+;
using testing::packed;

image::Layout layout_of(const Bytes& image) {
    return std::get<image::Layout>(image::discover_layout(image, 0, false));
}

TEST(Inventory, DocumentsOfTheSampleAndOfCraftedImages) {
    const testing::Sample sample = testing::make_sample();
    const struct {
        const char* name;
        Bytes image;
    } cases[] = {
        {"sample", sample.image},
        {"bootblock_areas", testing::bootblock_areas_image()},
        {"odd_modules", testing::odd_modules_image()},
    };
    for (const auto& c : cases) {
        const image::Layout layout = layout_of(c.image);
        const Inventory inv = take_inventory(std::string(c.name) + ".bin", c.image, layout);
        testing::expect_golden(std::string("inspect/") + c.name + ".json", inventory_json(inv));
        testing::expect_golden(std::string("inspect/") + c.name + ".txt", inventory_text(inv));
        testing::expect_golden(std::string("inspect/") + c.name + "_verify.json",
                               verification_json(verify_image(c.image, layout), inv.name, inv.length));
        // The space report, from the inventory --space takes: nothing unpacked.
        const SpaceReport space = space_report(
            take_inventory(inv.name, c.image, layout, {.digests = false, .contents = false}), c.image);
        testing::expect_golden(std::string("inspect/") + c.name + "_space.json", space_json(space));
        testing::expect_golden(std::string("inspect/") + c.name + "_space.txt", space_text(space));
    }
}

// Names are cut to their column, every line fits 80 columns.
TEST(Inventory, TextFitsEightyColumns) {
    ImageBuilder b(0x40000);
    b.put(0, testing::stored_module(std::string(200, 'n'), "5000:0", "x"));
    b.put(0x10000, testing::stored_module("m.bin", "407F:0", "y"));
    const Inventory inv = take_inventory(std::string(100, 'i'), b.bytes, layout_of(b.bytes));
    const std::string text = inventory_text(inv);
    std::size_t longest = 0;
    for (std::size_t from = 0, end = 0; from < text.size(); from = end + 1) {
        end = text.find('\n', from);
        longest = std::max(longest, end - from);
    }
    EXPECT_EQ(longest, 80u);
    EXPECT_NE(text.find("  0 00000000 5000 System BIOS                        1       1 2200 " +
                        std::string(12, 'n') + "\n"),
              std::string::npos)
        << text;
}

// What the modules may unpack to is bounded: past it they are listed, not
// unpacked.
TEST(Inventory, ModulesPastTheUnpackingBudgetAreNotUnpacked) {
    const Bytes image = testing::make_sample().image;
    const Inventory inv =
        take_inventory("s.bin", image, layout_of(image), {.unpack_budget = 0xE000 + 0x3000});
    EXPECT_TRUE(inv.modules[1].check.crc16_holds());
    EXPECT_EQ(inv.modules[2].check.problem,
              "not unpacked: the modules before it have used up the 69632 bytes they may unpack to in all");
    EXPECT_FALSE(inv.modules[2].check.computed_crc16);
    EXPECT_FALSE(inv.modules[2].option_rom);
}

// A module that begins with a table of pointers (the /D table reads none of
// its updates) and holds an AMD patch with bridge IDs, and a damaged update
// in the bootblock's area: the inventory holds the updates --microcode
// lists, with their notes, and --info and --verify show them.
TEST(Inventory, MicrocodeAsTheMicrocodeListingHasIt) {
    ImageBuilder b(0x40000);
    b.put(0, testing::stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    b.put_bootblock_record(0x20100, 0, 0xF000, 0x0000, 0xE000).put_u16(0x20100 + 33, 0x0800);
    Bytes damaged =
        testing::intel_update({.cpuid = 0x6A0, .platform_mask = 1, .revision = 3, .date = 0x01312000});
    damaged[300] ^= 0x01;
    b.put(0x20800, testing::intel_update({.cpuid = 0x686, .revision = 0x0A}) + damaged);
    Bytes pointers(64, 0);
    base::write_u32(pointers, 0, 0x40);
    base::write_u32(pointers, 4, 0x840);
    const Bytes contents = pointers +
                           testing::intel_update({.cpuid = 0x686, .platform_mask = 0x14, .revision = 0x0C}) +
                           testing::amd_patch(0x48, 0x0F4A, 0x1022, 0x1106);
    b.put_module(0x10000, packed(contents, "CPUCODE.BIN", "4001:0"));
    const image::Layout layout = layout_of(b.bytes);

    const Inventory inv = take_inventory("bios.bin", b.bytes, layout);
    base::JsonWriter w;
    w.begin_object().member("schema", microcode::kSchema).member("image", "bios.bin");
    write_microcode_members(w, inv.microcode);
    w.end_object();
    EXPECT_EQ(w.text(), microcode::listing_json(convert::image_microcode(b.bytes, layout, codec::Report{}),
                                                "bios.bin"));

    const std::string text = inventory_text(inv);
    EXPECT_EQ(text.substr(text.find("\nMicrocode updates\n")),
              "\nMicrocode updates\n"
              "  bootblock area at 00020800, 4096 bytes to its first blank record: 2 updates\n"
              "    1 00000h Intel 00000686 pf 10 rev 0000000A 2000-05-12  2048 holds\n"
              "             superseded by 3\n"
              "    2 00800h Intel 000006A0 pf 01 rev 00000003 2000-01-31  2048 FAILS\n"
              "  module at 00010000, 4160 bytes unpacked: 2 updates\n"
              "    00000h-0003Fh (64 bytes) are not updates\n"
              "    3 00040h Intel 00000686 pf 14 rev 0000000C 2000-05-12  2048 holds\n"
              "             not in the /D table: no record of it starts there\n"
              "    4 00840h AMD   00000F4A patch 00000048 bridges 00001022 00001106  2048 holds\n"
              "             not in the /D table: no record of it starts there\n");
    std::string findings;
    for (const Finding& f : verify_image(b.bytes, layout).findings)
        if (f.check == "microcode")
            findings += base::format("%08llX ", static_cast<unsigned long long>(f.offset)) + f.subject +
                        ": " + f.found + ", expected " + f.expected + "\n";
    EXPECT_EQ(
        findings,
        "00021000 Intel microcode update (signature 000006A0) of the bootblock area: its checksum does not "
        "hold: its words sum to 00000001, not 0, expected an update whose checksums hold\n");
}

TEST(Inventory, KeptDocumentsMatchTheirSchemas) {
    KITRA_NEEDS_PROGRAM("python3", "python3");
    std::string command = "python3 " + std::string(KITRA_TEST_TOOLS) + "/validate_json.py " +
                          std::string(KITRA_TEST_TOOLS) + "/../../schema";
    for (const char* folder : {"inspect", "app"})
        for (const auto& entry : std::filesystem::directory_iterator(testing::golden_path(folder)))
            if (entry.path().extension() == ".json") command += " " + entry.path().string();
    const int status = std::system(command.c_str());
#ifndef _WIN32
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
        if (testing::tools_required())
            FAIL() << "the jsonschema module is missing (Debian package python3-jsonschema)";
        GTEST_SKIP() << "the jsonschema module is missing (Debian package python3-jsonschema)";
    }
#endif
    EXPECT_EQ(status, 0) << command;
}

}  // namespace
}  // namespace kitra::inspect
