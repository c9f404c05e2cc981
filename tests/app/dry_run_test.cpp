// The dry run through the built tool: for every kind of legacy item it
// prints what the real run prints and ends with its status, and leaves the
// image and its folder byte for byte as they were; its summary and its
// document; and its refusals of wrong command lines.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "platform/files.h"
#include "support/bmp_writer.h"
#include "support/crafted_images.h"
#include "support/golden.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"
#include "support/sample_image.h"
#include "support/test_data.h"

namespace kitra::app {
namespace {

using base::Bytes;
using testing::run_kitra;
using testing::TempDir;

using testing::executable_of;

// The sample and every input the items name, in a folder of their own.
struct Folder {
    TempDir dir;
    Folder() {
        const testing::Sample sample = testing::make_sample();
        testing::Picture logo{16, 8, 8, 40, 0, {0x000000, 0xFFFFFF}, std::vector<std::uint32_t>(128, 1)};
        for (const auto& [name, bytes] : std::map<std::string, Bytes>{
                 {"bios.bin", sample.image},
                 {"vga.rom", sample.vga_rom},
                 {"logo.bmp", testing::write_bmp(logo)},
                 {"CPUCODE.EXE", executable_of(testing::pseudo_random_bytes(0x800, 7))},
                 {"huge.bin", testing::pseudo_random_bytes(0x8000, 8)},
                 {"top.bin", Bytes(0x100, 0x5A)},
                 {"mem.efi", testing::test_data("pe32/pe_reloc.efi")},
                 // Its header gives 100h bytes: a stop that discards the run.
                 {"bad.aml", testing::ImageBuilder(0x40).put_text(0, "SSDT").put_u32(4, 0x100).bytes},
             })
            EXPECT_TRUE(platform::write_file(dir.file(name), bytes));
    }
    // Every file of the folder with its bytes.
    std::map<std::string, Bytes> files() const {
        std::map<std::string, Bytes> out;
        for (const std::string& name : dir.files()) out[name] = *platform::read_file(dir.file(name));
        return out;
    }
    testing::Outcome run(std::vector<std::string> args, const std::string& input = "") const {
        args.insert(args.begin(), "bios.bin");
        return run_kitra(args, dir.path, input);
    }
};

// What the dry run adds to the real run's text: its summary, on a line of
// its own.
std::string summary_of(const std::string& real, const std::string& dry) {
    if (dry.compare(0, real.size(), real) != 0) return "(the real run's text is not where it starts)";
    std::string rest = dry.substr(real.size());
    if (!real.empty() && real.back() != '\n' && rest.starts_with("\n")) rest.erase(0, 1);
    return rest;
}

TEST(DryRun, EveryKindOfItemPrintsWhatTheRealRunPrintsAndWritesNothing) {
    const struct {
        std::vector<std::string> items;
        std::string input;  // keys and lines typed
    } cases[] = {
        {{"/vga", "vga.rom"}, ""},
        {{"/logo", "logo.bmp"}, ""},
        {{"/pci", "release"}, "A"},
        {{"/oem0", "release", "/logo", "release", "/err"}, ""},
        {{"/logo", "extract", "out.bmp"}, ""},
        // The extract's file is read back by the item after it.
        {{"/oem0", "extract", "/oem1", "oem0.bin"}, "\n"},
        {{"/cpucode"}, ""},
        {{"/cpucode", "/acpi", "release"}, ""},
        {{"/TOPHOLE", "extract"}, ""},
        {{"/TOPHOLE", "release"}, ""},
        {{"/NC_CPUCODE", "release"}, ""},
        {{"/NC_CPUCODE", "CPUCODE.EXE"}, ""},
        {{"/TopHole:FFFD8000", "top.bin"}, ""},
        {{"/btvga", "vga.rom"}, ""},
        {{"/BTMEM", "mem.efi"}, ""},
        {{"/BTMEM", "release"}, ""},
        {{"/HOLE0", "top.bin", "/err"}, ""},
        {{"/BOI"}, ""},
        {{"/D"}, ""},
        {{"/CALS", "vga.rom"}, ""},
        {{"/oem3", "huge.bin", "/advice", "/err"}, ""},
        {{"/vga", "missing.rom", "/oem1", "top.bin", "/err"}, ""},
        {{"/oem1", "top.bin", "/ACPIModule", "bad.aml"}, ""},
    };
    for (const auto& c : cases) {
        const Folder real;
        const Folder dry;
        const auto before = dry.files();
        const testing::Outcome r = real.run(c.items, c.input);
        std::vector<std::string> args{"--dry-run"};
        args.insert(args.end(), c.items.begin(), c.items.end());
        const testing::Outcome d = dry.run(args, c.input);
        const std::string& first = c.items.front();
        EXPECT_TRUE(summary_of(r.out, d.out).starts_with("\nDry run of bios.bin: nothing was written.\n"))
            << first << "\n"
            << r.out << "\n---\n"
            << d.out;
        EXPECT_EQ(d.err, r.err) << first;
        EXPECT_EQ(d.status, r.status) << first;
        EXPECT_TRUE(d.out.ends_with("exit status " + std::to_string(r.status) + ".\n")) << first;
        EXPECT_EQ(dry.files(), before) << first;
    }
}

// The folder's path in a text as DIR, a backslash after it (Windows) as
// "/"; also as JSON writes them.
std::string anywhere(std::string text, const TempDir& dir) {
    std::string json = dir.path.string();
    for (std::size_t at = 0; (at = json.find('\\', at)) != std::string::npos; at += 2) json.insert(at, "\\");
    for (const std::string& path : {json, dir.path.string()})
        for (std::size_t at; (at = text.find(path)) != std::string::npos;)
            text.replace(at, path.size(), "DIR");
    for (const char* after : {"DIR\\\\", "DIR\\"})
        for (std::size_t at; (at = text.find(after)) != std::string::npos;)
            text.replace(at, std::strlen(after), "DIR/");
    return text;
}

TEST(DryRun, SummaryAndDocument) {
    const Folder f;
    const std::vector<std::string> items{"/logo",    "release",  "/vga",     "vga.rom", "/oem3",
                                         "huge.bin", "/cpucode", "/TOPHOLE", "extract", "/advice"};
    std::vector<std::string> args{"--dry-run"};
    args.insert(args.end(), items.begin(), items.end());
    const testing::Outcome real = Folder().run(items);
    const testing::Outcome text = f.run(args);
    testing::expect_golden("app/dry_run.txt", anywhere(summary_of(real.out, text.out), f.dir));

    args.push_back("--json");
    const testing::Outcome json = f.run(args);
    EXPECT_EQ(json.err, real.out);  // the run's own text goes to the error stream
    EXPECT_EQ(json.status, real.status);
    testing::expect_golden("app/dry_run.json", anywhere(json.out, f.dir));
}

// Runs that end before an item, and one that stops halfway.
TEST(DryRun, RunsThatEndEarly) {
    const Folder f;
    const std::string none = "Dry run of bios.bin: nothing was written.\n  The run ends before any item; ";
    const struct {
        std::vector<std::string> args;
        std::string summary;
    } cases[] = {
        {{"--dry-run", "/vga"}, "\n" + none + "exit status 0.\n"},  // the usage text
        {{"--dry-run", "/oem1", "top.bin", "/ACPIModule", "bad.aml"},
         "\nDry run of bios.bin: nothing was written.\n"
         "   1. /oem1 top.bin                                            done\n"
         "       adds     OEM1 CODE \"top.bin\", 2Dh bytes at 0001426Ah\n"
         "   2. /ACPIModule bad.aml                                      stops the run\n"
         "  The run stops there: every change is discarded, and the image is left as it was.\n"
         "  The image would be left as it is; exit status 1.\n"},
    };
    for (const auto& c : cases) {
        const testing::Outcome o = f.run(c.args);
        EXPECT_TRUE(o.out.ends_with(c.summary)) << o.out;
    }
    const testing::Outcome missing =
        run_kitra({"gone.bin", "--dry-run", "/oem1", "top.bin", "/err"}, f.dir.path);
    EXPECT_EQ(missing.out,
              "kitra V1.99 [02/12/2010]\ngone.bin file not found\n\n"
              "Dry run of gone.bin: nothing was written.\n  The run ends before any item; exit status 1.\n");
    EXPECT_EQ(missing.status, 1);
}

TEST(DryRun, WrongCommandLines) {
    const Folder f;
    const std::string usage = "kitra IMAGE --dry-run ITEM... [--json]\n";
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"--dry-run"}, "kitra --dry-run: it needs the items of a legacy command line\n" + usage},
        {{"--dry-run", "--json"}, "kitra --dry-run: it needs the items of a legacy command line\n" + usage},
        {{"--dry-run", "/D", "--all"}, "kitra --dry-run: --all is no switch of it\n" + usage},
    };
    for (const auto& c : cases) {
        const testing::Outcome o = f.run(c.args);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err, c.err);
        EXPECT_EQ(o.status, 2);
    }
}

}  // namespace
}  // namespace kitra::app
