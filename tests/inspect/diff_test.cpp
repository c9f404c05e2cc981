// Diff through the built tool, on pairs of images made by real edits of the
// sample (add, replace, release with compaction, a new microcode module),
// and on changes made by hand that no edit makes (repacked, renamed).
#include "inspect/diff.h"

#include <gtest/gtest.h>

#include "codec/module_header.h"
#include "image/layout.h"
#include "image/listing_format.h"
#include "platform/files.h"
#include "support/byte_literals.h"
#include "support/golden.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"
#include "support/sample_image.h"

namespace kitra::inspect {
namespace {

using base::Bytes;
using testing::operator+;
using testing::run_kitra;
using testing::TempDir;

// The sample as a.bin and the files the edits add.
struct Edits {
    TempDir dir;
    Edits() {
        const testing::Sample s = testing::make_sample();
        EXPECT_TRUE(platform::write_file(dir.file("a.bin"), s.image));
        EXPECT_TRUE(platform::write_file(dir.file("vga.rom"), s.vga_rom));
        EXPECT_TRUE(platform::write_file(dir.file("e1000.rom"),
                                         testing::sample_rom(0x8086, 0x100E, 0x020000, 0x0305, 16, 3)));
        EXPECT_TRUE(platform::write_file(
            dir.file("cpu.bin"),
            testing::sample_microcode_update(0x000006F6, 0x4D, 0x03152011, 0x01, 5) +
                testing::sample_microcode_update(0x000006FD, 0xA4, 0x10032010, 0x20, 7)));
    }
    // A copy of `from` named `to`, edited by the legacy command line `args`.
    void edit(const std::string& from, const std::string& to, std::vector<std::string> args,
              const std::string& input = "") {
        std::filesystem::copy_file(dir.file(from), dir.file(to));
        args.insert(args.begin(), to);
        EXPECT_EQ(run_kitra(args, dir.path, input).status, 0) << to;
    }
    testing::Outcome diff(const std::string& a, const std::string& b, bool json = false) {
        std::vector<std::string> args{a, "--diff", b};
        if (json) args.push_back("--json");
        return run_kitra(args, dir.path);
    }
};

TEST(Diff, PairsMadeByRealEdits) {
    Edits e;
    e.edit("a.bin", "add.bin", {"/vga", "vga.rom"});
    e.edit("add.bin", "replace.bin", {"/pci", "e1000.rom"});
    e.edit("add.bin", "release.bin", {"/pci", "release"}, "A");
    e.edit("a.bin", "cpu.bin.bin", {"/cpucode", "cpu.bin"});
    const struct {
        const char* a;
        const char* b;
        std::string out;
    } cases[] = {
        {"a.bin", "add.bin",
         "--- a.bin (262144 bytes)\n+++ add.bin (262144 bytes)\nModules\n"
         "  added    4080 VGA ROM[1]       vga.rom        at 0001426A, 1800h bytes\n"
         "Other bytes\n"
         "  0002EFFE-0002EFFF checksum block               2 of 2 bytes differ\n"
         "  0002F000-0002F001 balance area                 2 of 2 bytes differ\n"
         "  0002F05E-0002F1CC balance area                 276 of 367 bytes differ\n"
         "The images differ: 4 differences.\n"},
        {"add.bin", "replace.bin",
         "--- add.bin (262144 bytes)\n+++ replace.bin (262144 bytes)\nModules\n"
         "  changed  4086 PCI ROM[A]       e1000.rom      from 52h, 2 bytes differ\n"
         "           at 00013F3A, was at 0001114E\n"
         "  moved    4000 LOGO BitMap      oemlogo.bmp    00011E49 -> 0001114E\n"
         "  moved    4001 CPU micro code   cpucode.bin    00012874 -> 00011B79\n"
         "  moved    4003 ACPI table       acpitbl.bin    00012F07 -> 0001220C\n"
         "  moved    402E GROUP ROM[ 5]    group5.bin     00013815 -> 00012B1A\n"
         "  moved    4012 OEM0 CODE        oem0.bin       00013F37 -> 0001323C\n"
         "  moved    4080 VGA ROM[1]       vga.rom        0001426A -> 0001356F\n"
         "Option ROMs\n"
         "  version  module PCI ROM[A]\n"
         "           8086:100E class 020000 rev 0304 -> 8086:100E class 020000 rev 0305\n"
         "Other bytes\n"
         "  0002EFFE-0002EFFF checksum block               2 of 2 bytes differ\n"
         "  0002F000-0002F001 balance area                 2 of 2 bytes differ\n"
         "  0002F05E-0002F0A8 balance area                 57 of 75 bytes differ\n"
         "The images differ: 11 differences.\n"},
        {"add.bin", "release.bin",
         "--- add.bin (262144 bytes)\n+++ release.bin (262144 bytes)\nModules\n"
         "  removed  4086 PCI ROM[A]       e1000.rom      was at 0001114E, 2000h bytes\n"
         "  moved    4000 LOGO BitMap      oemlogo.bmp    00011E49 -> 0001114E\n"
         "  moved    4001 CPU micro code   cpucode.bin    00012874 -> 00011B79\n"
         "  moved    4003 ACPI table       acpitbl.bin    00012F07 -> 0001220C\n"
         "  moved    402E GROUP ROM[ 5]    group5.bin     00013815 -> 00012B1A\n"
         "  moved    4012 OEM0 CODE        oem0.bin       00013F37 -> 0001323C\n"
         "  moved    4080 VGA ROM[1]       vga.rom        0001426A -> 0001356F\n"
         "Other bytes\n"
         "  0002EFFE-0002EFFF checksum block               2 of 2 bytes differ\n"
         "  0002F000-0002F001 balance area                 2 of 2 bytes differ\n"
         "  0002F05E-0002F0F0 balance area                 111 of 147 bytes differ\n"
         "The images differ: 10 differences.\n"},
        {"a.bin", "cpu.bin.bin",
         "--- a.bin (262144 bytes)\n+++ cpu.bin.bin (262144 bytes)\nModules\n"
         "  changed  4001 CPU micro code   cpu.bin        from 4h, 1603 bytes differ\n"
         "           at 00013BD7, was at 00012874\n"
         "  moved    4003 ACPI table       acpitbl.bin    00012F07 -> 00012874\n"
         "  moved    402E GROUP ROM[ 5]    group5.bin     00013815 -> 00013182\n"
         "  moved    4012 OEM0 CODE        oem0.bin       00013F37 -> 000138A4\n"
         "Microcode updates\n"
         "  changed  Intel 000006F6 pf 01 rev 0000004D 2011-03-15\n"
         "           was Intel 000006F6 pf 01 rev 0000004C 2008-08-18\n"
         "  removed  Intel 000006FB pf 10 rev 000000BA 2010-10-03\n"
         "  added    Intel 000006FD pf 20 rev 000000A4 2010-10-03\n"
         "Other bytes\n"
         "  0002EFFE-0002EFFF checksum block               2 of 2 bytes differ\n"
         "  0002F000-0002F001 balance area                 2 of 2 bytes differ\n"
         "  0002F1A2-0002F1CC balance area                 33 of 43 bytes differ\n"
         "The images differ: 10 differences.\n"},
    };
    for (const auto& c : cases) {
        const testing::Outcome o = e.diff(c.a, c.b);
        EXPECT_EQ(o.out, c.out) << c.b;
        EXPECT_EQ(o.status, 1) << c.b;
        EXPECT_EQ(o.err, "") << c.b;
    }
    testing::expect_golden("inspect/diff_replace.json", e.diff("add.bin", "replace.bin", true).out);
    testing::expect_golden("inspect/diff_microcode.json", e.diff("a.bin", "cpu.bin.bin", true).out);
}

TEST(Diff, EqualImagesAndTrouble) {
    Edits e;
    const testing::Outcome same = e.diff("a.bin", "a.bin");
    EXPECT_EQ(same.out, "--- a.bin (262144 bytes)\n+++ a.bin (262144 bytes)\nThe images are equal.\n");
    EXPECT_EQ(same.status, 0);
    const testing::Outcome missing = e.diff("a.bin", "none.bin");
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "kitra: none.bin file not found\n");
    EXPECT_EQ(missing.status, 2);
    const testing::Outcome no_other = run_kitra({"a.bin", "--diff"}, e.dir.path);
    EXPECT_EQ(no_other.status, 2);
    EXPECT_EQ(
        no_other.err,
        "kitra --diff: it compares with a second image, named after it\nkitra IMAGE --diff OTHER [--json]\n");
}

// A module stored where it was packed, and a module renamed: the same
// contents either way.
TEST(Diff, RepackedAndRenamedModules) {
    const Bytes a = testing::make_sample().image;
    const image::Layout la = std::get<image::Layout>(image::discover_layout(a, 0, false));
    const auto last = image::listed_modules(a, la).back();
    Bytes repacked = a;
    base::fill(repacked, last.offset, last.step(), 0xFF);
    base::copy_into(repacked, last.offset,
                    testing::stored_module(last.name, "4012:0", testing::code_like(0x800, 8)));
    Bytes renamed = a;
    ++renamed[last.offset + codec::field::kName];
    codec::update_header_sum(base::slice(base::MutableByteView(renamed), last.offset, last.length()));
    const std::string head = "--- b.bin (262144 bytes)\n+++ b.bin (262144 bytes)\nModules\n";
    const std::string tail = "The images differ: 1 difference.\n";
    for (const auto& [b, out] :
         {std::pair{
              repacked,
              head + "  repacked 4012 OEM0 CODE        oem0.bin       same contents, other stream\n" + tail},
          std::pair{
              renamed,
              head + "  header   4012 OEM0 CODE        pem0.bin       same data, other header\n" + tail}}) {
        const image::Layout lb = std::get<image::Layout>(image::discover_layout(b, 0, false));
        const std::string name = "b.bin";
        EXPECT_EQ(difference_text(diff_images({name, a, la}, {name, b, lb})), out);
    }
}

}  // namespace
}  // namespace kitra::inspect
