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

#include "codec/lzh_encoder.h"
#include "codec/packer.h"
#include "inspect/inventory_json.h"
#include "inspect/inventory_text.h"
#include "inspect/verify.h"
#include "support/byte_literals.h"
#include "support/crafted_images.h"
#include "support/external_program.h"
#include "support/golden.h"
#include "support/image_builder.h"
#include "support/sample_image.h"

namespace kitra::inspect {
namespace {

using base::Bytes;
using testing::ImageBuilder;
using testing::operator+;

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

TEST(Inventory, KeptDocumentsMatchTheirSchemas) {
    KITRA_NEEDS_PROGRAM("python3", "python3");
    std::string command = "python3 " + std::string(KITRA_TEST_TOOLS) + "/validate_json.py " +
                          std::string(KITRA_TEST_TOOLS) + "/../../schema";
    for (const auto& entry : std::filesystem::directory_iterator(testing::golden_path("inspect")))
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
