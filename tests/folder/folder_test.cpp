// The image as a folder, through the built tool: every layout unpacked and
// packed back byte for byte; changed, removed and added modules packed to
// the image the legacy commands make; the body grown and shrunk with the
// chain and its PE32 module moved behind it; and every refusal, with its
// exact text, leaving the image as it was.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "base/text.h"
#include "codec/module_header.h"
#include "folder/folder_commands.h"
#include "platform/files.h"
#include "support/byte_literals.h"
#include "support/crafted_images.h"
#include "support/external_program.h"
#include "support/golden.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"
#include "support/sample_image.h"
#include "support/test_data.h"

namespace kitra::testing {
namespace {

const std::string kBanner = "kitra V1.99 [02/12/2010]\n";

struct Folder {
    TempDir dir;
    Outcome outcome;

    void write(const std::string& name, const Bytes& bytes) {
        std::filesystem::create_directories(std::filesystem::path(dir.file(name)).parent_path());
        ASSERT_TRUE(platform::write_file(dir.file(name), bytes)) << name;
    }
    void write(const std::string& name, const std::string& text) {
        write(name, Bytes(text.begin(), text.end()));
    }
    Bytes read(const std::string& name) const {
        return platform::read_file(dir.file(name)).value_or(Bytes{});
    }
    std::string text(const std::string& name) const {
        const Bytes b = read(name);
        return {b.begin(), b.end()};
    }
    // The manifest with `from` replaced by `to` (which must be there once).
    void edit_manifest(const std::string& from, const std::string& to, const std::string& folder = "d") {
        std::string m = text(folder + "/manifest.json");
        const std::size_t at = m.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        write(folder + "/manifest.json", m.replace(at, from.size(), to));
    }
    const Outcome& run(const std::vector<std::string>& args, const std::string& input = "") {
        outcome = run_kitra(args, dir.path, input);
        return outcome;
    }
    void unpack(const std::string& image = "img.bin", const std::string& folder = "d") {
        run({image, "--unpack", folder});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
    }
    // --verify finds nothing wrong but what the legacy add of a PE32 module
    // leaves: a CRC-16 of the contents before they were rebased.
    void expect_sound(const std::string& image) {
        run({image, "--verify"});
        std::size_t start = 0;
        for (std::size_t end = outcome.out.find('\n'); end != std::string::npos;
             start = end + 1, end = outcome.out.find('\n', start)) {
            const std::string line = outcome.out.substr(start, end - start);
            EXPECT_TRUE(line.find("PE32 in MB \"pe.efi\"): CRC-16 ") != std::string::npos ||
                        line.find(" is damaged: ") != std::string::npos ||
                        line.find(" is sound: ") != std::string::npos)
                << line;
        }
    }
};

// 256 KiB like a board's: a stored system BIOS at 0; from 0x10000 a PCI ROM,
// an OEM module and a PE32 module that the legacy tool added (rebased, its
// checksum byte set, referenced by the bootext FixupDescriptor table);
// "*BS1", "*BBSS*" with its checksum region, checksum block and balance word.
Bytes pe32_board() {
    ImageBuilder b(0x40000);
    b.put(0, packed(code_like(0x400, 1), "sys.rom", "5000:0"));
    std::uint64_t at = 0x10000;
    at = b.put_module(at, packed(sample_rom(0x8086, 0x100E, 0x020000, 0x0304, 16, 3), "e1000.rom", "4086:0"));
    b.put_module(at, packed(code_like(0x900, 5), "oem0.bin", "4012:0"));
    b.put(0x28000, pseudo_random_bytes(0x3000, 3)).put_u16(0x2800A, 0x3000);
    b.put_bs1_record(0x2A000, 0xFFFFFFFF).put_u8(0x2A006, 0);
    b.put_bootblock_record(0x2A100, 0x800F, 0xF000, 0x0000, 0xE000);
    const Bytes table = bytes({0, 9, 3, 0, 1, 0, 1, 0, 1, 0x70, 0x02, 1, 0x60, 0x02, 1, 0x50, 0x02, 1});
    b.put_text(0x28100, "FixupDescriptor").put(0x28100 + 15, table);
    b.bytes[0x2AFFF] = base::sum8(base::slice(base::ByteView(b.bytes), 0x28000, 0x2FFF));
    Folder f;
    f.write("img.bin", b.bytes);
    f.write("pe.efi", test_data("pe32/pe_reloc.efi"));
    f.run({"img.bin", "/1PE32", "pe.efi"});
    EXPECT_EQ(f.outcome.status, 0) << f.outcome.out;
    return f.read("img.bin");
}

// The sample with what only the legacy tool puts there: a stored module
// aligned by /NoCompress, and a PE32 module in the chain and in the arena.
Bytes sample_with_stored_modules() {
    Folder f;
    f.write("img.bin", make_sample().image);
    f.write("pe.efi", test_data("pe32/pe_reloc.efi"));
    f.write("raw.bin", code_like(0x123, 9));
    f.run({"img.bin", "/NoCompress", "raw.bin", "/1PE32", "pe.efi", "/2PE32B", "pe.efi"});
    EXPECT_EQ(f.outcome.status, 0) << f.outcome.out;
    return f.read("img.bin");
}

// 128 KiB without a bootblock record: the system BIOS at 0 and one module.
Bytes small_image() {
    ImageBuilder b(0x20000);
    b.put(0, packed(code_like(0x3000, 2), "bios.bin", "5000:0"));
    b.put_module(0x10000, packed(code_like(0x200, 3), "a.bin", "4012:0"));
    return b.bytes;
}

// 1 MiB in the extended bootblock layout (the low nibble of "*BBSS*" word
// +8 set): its checksum block in another 64 KiB segment of the last MiB.
Bytes extended_layout_image() {
    ImageBuilder b(0x100000);
    b.put(0, packed(code_like(0x8000, 4), "bios.bin", "5000:0"));
    b.put_module(0x10000, packed(code_like(0x400, 5), "oem3.bin", "4015:0"));
    b.put_bootblock_record(0xE2000, 0xC00D, 0x7001, 0xA000, 0x0E0C, 0x02).put_u16(0xEC00A, 0x0100);
    return b.bytes;
}

TEST(FolderRoundTrip, EveryLayoutComesBackByteForByte) {
    const struct {
        const char* name;
        Bytes image;
    } cases[] = {
        {"sample", make_sample().image},
        {"sample of 1 MiB", make_sample(0x100000).image},
        {"bootblock areas", bootblock_areas_image()},
        {"odd modules", odd_modules_image()},
        {"stored modules", sample_with_stored_modules()},
        {"PE32 board", pe32_board()},
        {"small image", small_image()},
        {"extended layout", extended_layout_image()},
    };
    for (const auto& c : cases) {
        Folder f;
        f.write("img.bin", c.image);
        f.unpack();
        // Into a new file, and over the image itself, which stays as it was.
        f.run({"new.bin", "--pack", "d"});
        EXPECT_EQ(f.outcome.status, 0) << c.name << f.outcome.err;
        EXPECT_EQ(f.read("new.bin"), c.image) << c.name;
        f.run({"img.bin", "--pack", "d"});
        EXPECT_EQ(f.outcome.err, "") << c.name;
        EXPECT_TRUE(f.outcome.out.ends_with(" modules kept byte for byte\n")) << c.name << f.outcome.out;
        EXPECT_EQ(f.read("img.bin"), c.image) << c.name;
    }
}

TEST(FolderRoundTrip, ManifestOfTheSampleAndItsFiles) {
    Folder f;
    f.write("sample.bin", make_sample().image);
    f.run({"sample.bin", "--unpack", "d"});
    EXPECT_EQ(
        f.outcome.out,
        "Unpacked sample.bin into d: the system BIOS body, 9 modules, 12 regions (4 of them as files); 24 "
        "files.\n");
    expect_golden("folder/sample_manifest.json", f.text("d/manifest.json"));
    const std::vector<std::string> modules = {"acpi-acpitbl.bin",    "btmem-memsize.bin",  "btvga-btvga.rom",
                                              "cpucode-cpucode.bin", "group-5-group5.bin", "logo-oemlogo.bmp",
                                              "oem0-oem0.bin",       "pci-A-e1000.rom",    "pci-B-raid.rom"};
    for (const std::string& m : modules) EXPECT_FALSE(f.read("d/modules/" + m).empty()) << m;
    EXPECT_EQ(f.read("d/body.bin"), code_like(0xE000, 1));
}

TEST(FolderRoundTrip, KeptManifestsMatchTheirSchema) {
    KITRA_NEEDS_PROGRAM("python3", "python3");
    const std::string command = "python3 " + std::string(KITRA_TEST_TOOLS) + "/validate_json.py " +
                                std::string(KITRA_TEST_TOOLS) + "/../../schema " +
                                golden_path("folder/sample_manifest.json");
    const int status = std::system(command.c_str());
#ifndef _WIN32
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
        if (tools_required())
            FAIL() << "the jsonschema module is missing (Debian package python3-jsonschema)";
        GTEST_SKIP() << "the jsonschema module is missing (Debian package python3-jsonschema)";
    }
#endif
    EXPECT_EQ(status, 0) << command;
}

// A changed, a removed and an added module give what the legacy commands
// give; so does a release that moves the PE32 module behind it.
TEST(FolderChanges, AsTheLegacyCommandsMakeThem) {
    const Bytes board = pe32_board();
    Bytes rom = sample_rom(0x8086, 0x100E, 0x020000, 0x0305, 16, 33);
    const struct {
        const char* name;
        std::function<void(Folder&)> change;
        std::vector<std::vector<std::string>> legacy;
    } cases[] = {
        {"changed",
         [&](Folder& f) { f.write("d/modules/pci-A-e1000.rom", rom); },
         {{"img.bin", "/pci", "release"}, {"img.bin", "/pci", "e1000.rom"}}},
        {"removed",
         [&](Folder& f) { std::filesystem::remove(f.dir.file("d/modules/oem0-oem0.bin")); },
         {{"img.bin", "/oem0", "release"}}},
        {"added",
         [&](Folder& f) {
             f.write("d/modules/new.bin", code_like(0x700, 7));
             f.edit_manifest(
                 "\"modules\": [",
                 "\"modules\": [\n{\"file\": \"modules/new.bin\", \"name\": \"new.bin\", \"type_id\": "
                 "16403, \"option\": \"/oem1\"},");
         },
         {{"img.bin", "/oem1", "new.bin"}}},
    };
    for (const auto& c : cases) {
        Folder f;
        f.write("img.bin", board);
        f.unpack();
        c.change(f);
        f.run({"packed.bin", "--pack", "d"});
        ASSERT_EQ(f.outcome.status, 0) << c.name << f.outcome.err;
        f.expect_sound("packed.bin");
        f.write("e1000.rom", rom);
        f.write("new.bin", code_like(0x700, 7));
        for (const auto& args : c.legacy) {
            f.run(args);
            ASSERT_EQ(f.outcome.status, 0) << c.name << f.outcome.out;
        }
        EXPECT_EQ(f.read("packed.bin"), f.read("img.bin")) << c.name;
    }
}

TEST(FolderChanges, PackReportsEachChange) {
    Folder f;
    f.write("img.bin", pe32_board());
    f.unpack();
    std::filesystem::remove(f.dir.file("d/modules/oem0-oem0.bin"));
    f.run({"img.bin", "--pack", "d"});
    EXPECT_EQ(f.outcome.out,
              "Packing img.bin from d:\n"
              "  released  modules/oem0-oem0.bin (OEM0 CODE \"oem0.bin\")\n"
              "  2 modules kept as they were\n");
    EXPECT_EQ(f.outcome.status, 0);
}

// The body grows past 64 KiB and the chain with its PE32 module moves up,
// rebased and referenced again; shrunk to what it was, the image is the
// original again.
TEST(FolderChanges, BodyGrownAndShrunkMovesTheChain) {
    const Bytes board = pe32_board();
    Folder f;
    f.write("img.bin", board);
    f.unpack();
    const Bytes body = f.read("d/body.bin");
    f.write("d/body.bin", pseudo_random_bytes(0x12000, 4));
    f.run({"big.bin", "--pack", "d"});
    EXPECT_EQ(
        f.outcome.out,
        "Packing big.bin from d:\n"
        "  body      body.bin (System BIOS \"sys.rom\")\n"
        "Adding sys.rom ......... 100.0%\n"
        "            the system BIOS module is now 73762 bytes; the module chain moved up by 8228 bytes\n"
        "  3 modules kept as they were\n");
    f.expect_sound("big.bin");
    // The FixupDescriptor entry of category 5 holds the PE32 image's new
    // address (its data's, past the header and the pad).
    const Bytes big = f.read("big.bin");
    std::uint64_t at = codec::module_at(big, 0)->step() + 1;  // past 64 KiB: the chain right behind
    while (codec::module_at(big, at)->type_id != 0x407B) at += codec::module_at(big, at)->step();
    const auto pe = codec::module_at(big, at);
    EXPECT_EQ(base::read_u32(big, 0x28000 + 0x250),
              static_cast<std::uint32_t>(at + pe->header_size + 2 + big[at + pe->header_size] - 0x40000));

    // Shrunk again with --body, the one-step form, to the body as it was.
    f.write("body.bin", body);
    f.run({"big.bin", "--body", "body.bin"});
    EXPECT_EQ(
        f.outcome.out,
        "Adding sys.rom  42.2%\nThe system BIOS body of big.bin is now body.bin: a module of 466 bytes; "
        "the module chain moved down by 8228 bytes.\n");
    // The body and every module are back where they lay with the same data;
    // the PE32 module's CRC field is that of its rebased contents, as after
    // any release in front of it.
    const Bytes shrunk = f.read("big.bin");
    EXPECT_TRUE(std::equal(board.begin(), board.begin() + 0x10000, shrunk.begin()));
    for (auto m = codec::module_at(board, 0x10000); m; m = codec::module_at(board, m->offset + m->step())) {
        const std::uint64_t at = m->offset;
        const auto n = codec::module_at(shrunk, at);
        ASSERT_TRUE(n) << at;
        EXPECT_EQ(n->type_id, m->type_id);
        const auto data = [&](const Bytes& image) {
            const base::ByteView d = base::slice(image, at + m->header_size + 2, m->packed_size);
            return Bytes(d.begin(), d.end());
        };
        EXPECT_EQ(data(shrunk), data(board)) << at;
    }
    f.run({"big.bin", "--body-extract", "out.bin"});
    EXPECT_EQ(f.outcome.out, "The system BIOS body of big.bin (1024 bytes) is extracted to out.bin.\n");
    EXPECT_EQ(f.read("out.bin"), body);
}

// A string patched in a region is written as it is and the image finished.
TEST(FolderChanges, EditedRegionIsWrittenAndFinished) {
    Folder f;
    f.write("img.bin", make_sample().image);
    f.unpack();
    Bytes base = f.read("d/regions/base-window.bin");
    base::copy_into(base, 0x100, base::view_of("PATCHED"));
    f.write("d/regions/base-window.bin", base);
    f.run({"img.bin", "--pack", "d"});
    EXPECT_EQ(f.outcome.out,
              "Packing img.bin from d:\n"
              "  edited    regions/base-window.bin (base-window, 4112 bytes at 00020000h)\n"
              "  9 modules kept as they were\n");
    f.expect_sound("img.bin");
    EXPECT_TRUE(base::matches(f.read("img.bin"), 0x20100, "PATCHED"));
}

// A PE32 module of the arena changed: released and added again, as the
// legacy arena add replaces the module of its type.
TEST(FolderChanges, ArenaModuleAsTheLegacyArenaAddMakesIt) {
    Folder f;
    f.write("img.bin", sample_with_stored_modules());
    f.unpack();
    f.write("d/modules/2pe32b-pe.efi", test_data("pe32/pe_high_low.efi"));
    f.run({"packed.bin", "--pack", "d"});
    EXPECT_EQ(f.outcome.status, 0) << f.outcome.err;
    f.expect_sound("packed.bin");
    f.write("pe.efi", test_data("pe32/pe_high_low.efi"));
    f.run({"img.bin", "/2PE32B", "pe.efi"});
    EXPECT_EQ(f.outcome.status, 0) << f.outcome.out;
    EXPECT_EQ(f.read("packed.bin"), f.read("img.bin"));
}

TEST(FolderRoundTrip, UnpackNotesWhatItKeepsAsItLies) {
    Folder f;
    f.write("odd.bin", odd_modules_image());
    f.run({"odd.bin", "--unpack", "d"});
    EXPECT_EQ(
        f.outcome.out,
        "Unpacked odd.bin into d: 4 modules, 3 regions (1 of them as files); 6 files.\n"
        "  note: modules/oem0-odd.bin: not unpacked (Unknown method: 54); the file holds the module's data "
        "as "
        "they lie\n"
        "  note: modules/oem1-oem1.bin: the contents' CRC-16 is AFEB, the header says 1234; the file holds "
        "them as they unpack\n"
        "  note: modules/oem2-oem2.bin: not unpacked (Bad table); the file holds the module's data as they "
        "lie\n");
}

TEST(FolderRefusals, NameTheFileAndTheEntryAndWriteNothing) {
    const Bytes sample = make_sample().image;
    const std::string in_d = "kitra --pack: in d, ";
    const std::string tail = ". Nothing is written.\n";
    const struct {
        const char* name;
        std::function<void(Folder&)> change;
        std::string err;
    } cases[] = {
        {"no manifest", [](Folder& f) { std::filesystem::remove(f.dir.file("d/manifest.json")); },
         in_d + "manifest.json: Can't read it; is this a folder kitra --unpack made?" + tail},
        {"not JSON", [](Folder& f) { f.edit_manifest("{", "{,"); },
         in_d + "manifest.json is not JSON: line 1, column 2: a member name in quotes expected" + tail},
        {"another schema", [](Folder& f) { f.edit_manifest("kitra-folder/1", "kitra-folder/2"); },
         in_d +
             "manifest.json: manifest.json: \"schema\" must be \"kitra-folder/1\": this kitra reads no "
             "other" +
             tail},
        {"hex disagrees",
         [](Folder& f) { f.edit_manifest("\"type_id_hex\": \"4087\"", "\"type_id_hex\": \"4088\""); },
         in_d +
             "manifest.json: modules[0] (modules/pci-B-raid.rom): \"type_id_hex\" says 4088 but \"type_id\" "
             "says 4087; give one of them, or both the same" +
             tail},
        {"region of another size", [](Folder& f) { f.write("d/regions/top-hole.bin", Bytes(10, 0)); },
         in_d + "regions[2] (regions/top-hole.bin): its file holds 10 bytes; the region is 4128 bytes long" +
             tail},
        {"bytes of no entry", [](Folder& f) { f.edit_manifest("\"length\": 28054", "\"length\": 28053"); },
         in_d +
             "regions[2] (regions/top-hole.bin): the bytes 0001AFFFh-0001AFFFh between regions[1] "
             "(free-space) and it belong to no entry" +
             tail},
        {"body gone", [](Folder& f) { std::filesystem::remove(f.dir.file("d/body.bin")); },
         in_d + "body (body.bin): the system BIOS body cannot be released; put its file back" + tail},
        {"file outside the folder",
         [](Folder& f) { f.edit_manifest("\"modules/oem0-oem0.bin\"", "\"../x\""); },
         in_d +
             "modules[6] (../x): the file name \"../x\" is refused: it has an empty, \".\" or \"..\" "
             "component; "
             "names stay inside the folder" +
             tail},
        {"new module of a type taken",
         [](Folder& f) {
             f.write("d/new.bin", Bytes(8, 1));
             f.edit_manifest(
                 "\"modules\": [",
                 "\"modules\": [{\"file\": \"new.bin\", \"name\": \"n\", \"type_id_hex\": \"4012\"},");
         },
         in_d +
             "modules[0] (new.bin): its type 4012:0 is modules[7] (modules/oem0-oem0.bin)'s; give it a type "
             "of "
             "its own, or remove that module" +
             tail},
        {"option of another area",
         [](Folder& f) {
             f.write("d/new.bin", Bytes(8, 1));
             f.edit_manifest(
                 "\"modules\": [",
                 "\"modules\": [{\"file\": \"new.bin\", \"name\": \"n\", \"type_id\": 1, \"option\": "
                 "\"/BTMEM\"},");
         },
         in_d +
             "modules[0] (new.bin): \"option\" \"/BTMEM\" does not add modules to the chain; give the option "
             "whose rules pack it" +
             tail},
        {"body too large",
         [](Folder& f) { f.write("d/body.bin", pseudo_random_bytes(0x1B000 - 0x426A - 40 + 0x123, 5)); },
         in_d +
             "body (body.bin): The new body packs to a system BIOS module of 93879 bytes; the module chain "
             "behind it would end at 0001B123h, 291 (123h) bytes past the end of the module area at "
             "0001B000h" +
             tail},
    };
    for (const auto& c : cases) {
        Folder f;
        f.write("img.bin", sample);
        f.unpack();
        c.change(f);
        f.run({"img.bin", "--pack", "d"});
        EXPECT_EQ(f.outcome.status, 1) << c.name;
        EXPECT_EQ(f.outcome.err, c.err) << c.name;
        EXPECT_EQ(f.read("img.bin"), sample) << c.name;
        f.run({"new.bin", "--pack", "d"});
        EXPECT_FALSE(platform::file_exists(f.dir.file("new.bin"))) << c.name;
    }
}

TEST(FolderRefusals, UnpackKeepsWhatIsNotItsOwn) {
    Folder f;
    f.write("img.bin", make_sample().image);
    f.write("d/notes.txt", "mine");
    f.run({"img.bin", "--unpack", "d"});
    EXPECT_EQ(
        f.outcome.err,
        "kitra --unpack: d is not empty; --replace writes over the files of an earlier unpack there. The "
        "folder holds no manifest of this image.\n");
    EXPECT_EQ(f.outcome.status, 1);
    f.run({"img.bin", "--unpack", "d", "--replace"});
    EXPECT_EQ(f.outcome.status, 0);
    // Unpacked again over a folder of another image: the files of the first
    // that the second has not are gone, the user's stay.
    f.write("small.bin", small_image());
    f.run({"small.bin", "--unpack", "d", "--replace"});
    EXPECT_EQ(f.outcome.status, 0) << f.outcome.err;
    EXPECT_EQ(f.text("d/notes.txt"), "mine");
    EXPECT_FALSE(platform::file_exists(f.dir.file("d/modules/pci-B-raid.rom")));
    f.run({"again.bin", "--pack", "d"});
    EXPECT_EQ(f.read("again.bin"), small_image());
    f.run({"img.bin", "--unpack", "img.bin"});
    EXPECT_EQ(f.outcome.err,
              "kitra --unpack: img.bin is not a folder. The folder holds no manifest of this image.\n");
}

TEST(FolderRefusals, WrongCommandLines) {
    Folder f;
    f.write("img.bin", make_sample().image);
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"img.bin", "--unpack"},
         "kitra --unpack: it needs the folder to write\nkitra IMAGE --unpack DIR [--replace]\n"},
        {{"img.bin", "--pack", "a", "b"},
         "kitra --pack: unexpected argument \"b\"\nkitra IMAGE --pack DIR\n"},
        {{"img.bin", "--body"}, "kitra --body: it needs the file of the new body\nkitra IMAGE --body FILE\n"},
        {{"img.bin", "--body-extract", "x", "--json"},
         "kitra --body-extract: --json is no switch of it\nkitra IMAGE --body-extract FILE\n"},
    };
    for (const auto& c : cases) {
        f.run(c.args);
        EXPECT_EQ(f.outcome.status, 2);
        EXPECT_EQ(f.outcome.err, c.err);
    }
    f.write("odd.bin", odd_modules_image());
    f.run({"odd.bin", "--body", "img.bin"});
    EXPECT_EQ(
        f.outcome.err,
        "kitra --body: odd.bin has no system BIOS module with a module chain behind it. The image is left "
        "unmodified.\n");
    EXPECT_EQ(f.outcome.status, 1);
}

}  // namespace
}  // namespace kitra::testing
