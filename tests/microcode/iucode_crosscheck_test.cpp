// Cross-check with Debian's iucode-tool: after updates are added to and
// removed from the CPU microcode module and the uncompressed area, the
// place's contents (extracted with the legacy options) hold exactly the
// updates kitra lists, as iucode-tool reads them. Skips where iucode-tool is
// missing, unless KITRA_REQUIRE_TOOLS=1 (as in CI).
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "base/text.h"
#include "convert/microcode_places.h"
#include "image/layout.h"
#include "platform/files.h"
#include "support/external_program.h"
#include "support/image_builder.h"
#include "support/microcode_builder.h"
#include "support/run_kitra.h"

namespace kitra::microcode {
namespace {

using base::Bytes;
using testing::IntelUpdateFields;
using testing::joined;

// iucode-tool's lines for each update of one place, as `iucode_tool -L`
// prints them without the bundle's numbering: the header's signature with
// the size, then each extended signature.
std::vector<std::string> kitra_lines(const convert::ImageMicrocode& im, convert::MicrocodePlace place) {
    std::vector<std::string> lines;
    for (const convert::ListedUpdate& l : im.updates) {
        if (im.places[l.place].place != place) continue;
        const convert::Update& u = l.update;
        const std::string date = convert::iso_date(u.date).value_or("?");
        for (std::size_t i = 0; i < u.signatures.size(); ++i) {
            std::string line =
                base::format("sig 0x%08x, pf_mask 0x%02x, %s, rev 0x%04x", u.signatures[i].cpuid,
                             u.signatures[i].platform_mask, date.c_str(), u.revision);
            if (i == 0) line += base::format(", size %u", u.size);
            lines.push_back(line);
        }
    }
    return lines;
}

std::vector<std::string> iucode_lines(const testing::TempDir& dir, const std::string& file) {
    const std::string command =
        "cd '" + dir.path.string() + "' && iucode_tool -L " + file + " >list.txt 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << file;
    const auto text = platform::read_file(dir.file("list.txt"));
    std::istringstream in(std::string(text->begin(), text->end()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("microcode bundle")) continue;
        const std::size_t sig = line.find("sig ");
        lines.push_back(sig == std::string::npos ? line : line.substr(sig));
    }
    return lines;
}

TEST(IucodeCrossCheck, ThePlacesHoldExactlyTheUpdatesKitraLists) {
    KITRA_NEEDS_PROGRAM("iucode_tool", "iucode-tool");
    testing::TempDir dir;
    testing::ImageBuilder b(0x40000);
    b.put(0, testing::stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    b.put_bootblock_record(0x20100, 0, 0xF000, 0x0000, 0xE000);
    b.put_bs1_record(0x2A100, 0);
    const auto intel = [](std::uint32_t cpuid, std::uint32_t revision, std::uint32_t mask) {
        return testing::intel_update({.cpuid = cpuid, .platform_mask = mask, .revision = revision});
    };
    b.put_module(0x10000,
                 testing::stored_module("CPU.BIN", "4001:0",
                                        joined({intel(0x686, 0x0A, 0x10), intel(0x6B1, 0x1D, 0x10)})));
    ASSERT_TRUE(platform::write_file(dir.file("bios.bin"), b.bytes));
    ASSERT_TRUE(platform::write_file(dir.file("new.bin"),
                                     joined({intel(0x686, 0x0C, 0x10), intel(0x683, 0x10, 0x04),
                                             testing::intel_update({.cpuid = 0xF29,
                                                                    .platform_mask = 0x04,
                                                                    .revision = 0x2E,
                                                                    .date = 0x07152003,
                                                                    .extended = {{0xF27, 0x04}}})})));
    const std::string dat = testing::dat_text(testing::intel_update({.cpuid = 0x6A0,
                                                                     .platform_mask = 0x01,
                                                                     .revision = 3,
                                                                     .total_size = 3072,
                                                                     .extended = {{0x6A1, 0x01}}}));
    ASSERT_TRUE(platform::write_file(dir.file("big.dat"), Bytes(dat.begin(), dat.end())));

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"bios.bin", "--microcode-add", "new.bin"},
             {"bios.bin", "--microcode-remove", "6B1"},
             {"bios.bin", "--microcode-add", "--uncompressed", "big.dat", "new.bin"},
             {"bios.bin", "--microcode-remove", "683,pf=4,rev=10"},
             {"bios.bin", "/cpucode", "extract", "module.bin"},
             {"bios.bin", "/NC_CPUCODE", "extract", "area.bin"},
         }) {
        const auto o = testing::run_kitra(args, dir.path);
        ASSERT_EQ(o.status, 0) << args[1] << "\n" << o.out << o.err;
    }
    const Bytes image = *platform::read_file(dir.file("bios.bin"));
    const auto layout = std::get<image::Layout>(image::discover_layout(image, 0, false));
    const convert::ImageMicrocode im = convert::image_microcode(image, layout, codec::Report{});
    const std::vector<std::string> module = kitra_lines(im, convert::MicrocodePlace::kModule);
    const std::vector<std::string> area = kitra_lines(im, convert::MicrocodePlace::kUncompressed);
    EXPECT_EQ(module.size(), 3u);  // 686 and F29 (two lines); 683 was removed from both places
    EXPECT_EQ(area.size(), 5u);    // 6A0 (two lines), 686 and F29
    EXPECT_EQ(iucode_lines(dir, "module.bin"), module);
    EXPECT_EQ(iucode_lines(dir, "area.bin"), area);
}

}  // namespace
}  // namespace kitra::microcode
