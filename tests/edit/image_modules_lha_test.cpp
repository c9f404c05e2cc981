// Every module kitra writes into an image is an LZH archive member that an
// independent LZH program tests and extracts to the original contents.
#include <gtest/gtest.h>

#include <cstdlib>

#include "codec/module_header.h"
#include "platform/files.h"
#include "support/external_program.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"

namespace kitra::edit {
namespace {

using base::Bytes;
using testing::ImageBuilder;
using testing::TempDir;

TEST(ImageModulesLha, ModulesWrittenIntoAnImageExtractWithLha) {
    KITRA_NEEDS_PROGRAM("lhasa", "lhasa");
    TempDir dir;
    ImageBuilder b(256 * 1024);
    b.put(0, testing::stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    b.put_bootblock_record(0x20100, 0, 0xF000, 0x0000, 0xE000);
    ASSERT_TRUE(platform::write_file(dir.file("bios.bin"), b.bytes));

    const std::vector<std::pair<std::string, Bytes>> inputs = {
        {"code.bin", testing::code_like(30000, 1)},
        {"rand.bin", testing::pseudo_random_bytes(3000, 2)},  // stored
        {"zero.bin", Bytes(20000, 0)},
        {"vga.rom", testing::option_rom(0x10DE, 0x1234, 16, 3)},
        {"one.bin", Bytes(1, 0x42)},
    };
    const char* options[] = {"/oem0", "/oem1", "/oem2", "/vga", "/oem3"};
    std::vector<std::string> args{"bios.bin"};
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        ASSERT_TRUE(platform::write_file(dir.file(inputs[i].first), inputs[i].second));
        args.push_back(options[i]);
        args.push_back(inputs[i].first);
    }
    ASSERT_EQ(testing::run_kitra(args, dir.path).status, 0);

    const Bytes img = *platform::read_file(dir.file("bios.bin"));
    std::uint64_t pos = 0x10000;
    std::size_t count = 0;
    const TempDir out;
    while (auto m = codec::module_at(img, pos)) {
        // The module as an archive: the member, then the end-of-archive byte.
        Bytes archive(img.begin() + static_cast<std::ptrdiff_t>(pos),
                      img.begin() + static_cast<std::ptrdiff_t>(pos + m->length()));
        archive.push_back(0);
        const std::string path = out.file("m" + std::to_string(count) + ".lzh");
        ASSERT_TRUE(platform::write_file(path, archive));
        EXPECT_EQ(std::system(("lhasa t " + path + " >/dev/null 2>&1").c_str()), 0) << m->name;
        EXPECT_EQ(
            std::system(("cd " + out.path.string() + " && lhasa xq " + path + " >/dev/null 2>&1").c_str()),
            0);
        const auto extracted = platform::read_file(out.file(m->name));
        ASSERT_TRUE(extracted) << m->name;
        EXPECT_EQ(*extracted, inputs[count].second) << m->name;
        pos += m->step();
        ++count;
    }
    EXPECT_EQ(count, inputs.size());
}

}  // namespace
}  // namespace kitra::edit
