// Release and extract through the built tool: exact output, exit status,
// image bytes and extracted files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/text.h"
#include "codec/crc16.h"
#include "codec/lzh_encoder.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "edit/extract_name.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"
#include "support/test_data.h"

namespace kitra::testing {
namespace {

namespace fs = std::filesystem;

// 256 KiB: the system BIOS "sys.rom" at 0, so the other modules start at
// 0x10000; "*BBSS*" at 0x2F100 puts the compressed area's end at 0x2E000 and
// the checksum block at 0x2F000, above it. Finishing writes only the checksum
// block and the balance word at 0x3E054, so everything below 0x2E000 is the
// work of the item alone.
constexpr std::uint64_t kImageSize = 256 * 1024;
constexpr std::uint64_t kWalkStart = 0x10000;
constexpr std::uint64_t kAreaEnd = 0x2E000;

ImageBuilder base_image() {
    ImageBuilder b(kImageSize);
    b.put(0, stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    b.put_bootblock_record(0x2F100, 0, 0xF000, 0xE000, 0x2000);
    return b;
}

Bytes read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_bytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The output after the banner line.
std::string after_banner(const std::string& out) {
    const std::size_t end = out.find('\n');
    return end == std::string::npos ? out : out.substr(end + 1);
}

// The first `length` bytes of two images agree; else where they first differ.
::testing::AssertionResult same_below(const Bytes& actual, const Bytes& expected, std::uint64_t length) {
    if (actual.size() < length || expected.size() < length)
        return ::testing::AssertionFailure() << "image too short";
    for (std::uint64_t i = 0; i < length; ++i) {
        if (actual[i] == expected[i]) continue;
        char text[80];
        std::snprintf(text, sizeof text, "first difference at 0x%llX: 0x%02X instead of 0x%02X",
                      static_cast<unsigned long long>(i), unsigned{actual[i]}, unsigned{expected[i]});
        return ::testing::AssertionFailure() << text;
    }
    return ::testing::AssertionSuccess();
}

struct Session {
    TempDir dir;
    std::string image_path = dir.file("img.bin");
    Outcome outcome;

    explicit Session(const Bytes& image) { write_bytes(image_path, image); }
    const Outcome& run(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), "img.bin");
        outcome = run_kitra(args, dir.path, input);
        return outcome;
    }
    std::string out() const { return after_banner(outcome.out); }
    Bytes image() const { return read_bytes(image_path); }
};

Bytes text_bytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// ---------------------------------------------------------------- extract

TEST(Extract, SingleIsaRomAt40A5NeedsNoChoiceAndShowsTwo) {
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, stored_module("isa.rom", "40A5:0", "ISA contents"));
    Session s(b.bytes);
    s.run({"/isa", "extract", "out.bin"});
    EXPECT_EQ(s.out(), "ISA ROM - - - [2] : isa.rom\n[ISA-2] ROM is extracted to out.bin\n");
    EXPECT_EQ(s.outcome.status, 0);
    EXPECT_EQ(read_bytes(s.dir.file("out.bin")), text_bytes("ISA contents"));
    EXPECT_EQ(s.image(), b.bytes);  // an extract changes nothing in the image
}

TEST(Extract, CompressedModuleGivesBackItsContents) {
    const Bytes original = pseudo_random_bytes(3000, 7);
    Bytes contents = original;
    contents.insert(contents.end(), 5000, 'A');  // something the coder can shorten
    codec::Encoder encoder;
    const Bytes module = codec::pack(contents, codec::PackMode::kQuiet, "logo.bmp", "4001:0", encoder, {});
    ASSERT_TRUE(base::matches(module, codec::field::kMethod, "-lh5-"));
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, module);
    Session s(b.bytes);
    s.run({"/cpucode", "extract", "cpu.bin"});
    EXPECT_EQ(s.outcome.status, 0);
    EXPECT_EQ(s.out(), "[CPUCODE] ROM is extracted to cpu.bin");
    EXPECT_EQ(read_bytes(s.dir.file("cpu.bin")), contents);
}

TEST(Extract, EmptyAnswerUsesTheStoredName) {
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, stored_module("vga.rom", "4080:0", "VGA one"));
    Session s(b.bytes);
    s.run({"/vga", "extract"}, "\n");
    EXPECT_EQ(s.out(),
              "VGA ROM - - - [1] : vga.rom\n"
              "Enter an extract file Name :(vga.rom) [VGA-1] ROM is extracted to vga.rom\n");
    EXPECT_EQ(read_bytes(s.dir.file("vga.rom")), text_bytes("VGA one"));
}

TEST(Extract, AnswerToThePromptNamesTheFile) {
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, stored_module("vga.rom", "4080:0", "VGA one"));
    Session s(b.bytes);
    s.run({"/vga", "extract"}, "mine.rom\n");
    EXPECT_EQ(s.out(),
              "VGA ROM - - - [1] : vga.rom\n"
              "Enter an extract file Name :(vga.rom) [VGA-1] ROM is extracted to mine.rom\n");
    EXPECT_EQ(read_bytes(s.dir.file("mine.rom")), text_bytes("VGA one"));
    EXPECT_FALSE(fs::exists(s.dir.file("vga.rom")));
}

TEST(Extract, ReplacesAnExistingFile) {
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, stored_module("vga.rom", "4080:0", "new"));
    Session s(b.bytes);
    write_bytes(s.dir.file("out.rom"), Bytes(100, 0x55));
    s.run({"/vga", "extract", "out.rom"});
    EXPECT_EQ(read_bytes(s.dir.file("out.rom")), text_bytes("new"));
}

TEST(Extract, SwitchAfterExtractIsNoFileName) {
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, stored_module("vga.rom", "4080:0", "VGA one"));
    Session s(b.bytes);
    s.run({"/vga", "extract", "/err"});
    EXPECT_EQ(s.out(),
              "VGA ROM - - - [1] : vga.rom\n"
              "Enter an extract file Name :(vga.rom) [VGA-1] ROM is extracted to vga.rom\n");
    EXPECT_EQ(s.outcome.status, 0);
    EXPECT_EQ(read_bytes(s.dir.file("vga.rom")), text_bytes("VGA one"));
}

TEST(Extract, OptionAfterExtractIsTheNextItem) {
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, stored_module("vga.rom", "4080:0", "VGA one"));
    Session s(b.bytes);
    s.run({"/vga", "extract", "/pci", "release"});
    EXPECT_EQ(s.out(),
              "VGA ROM - - - [1] : vga.rom\n"
              "Enter an extract file Name :(vga.rom) [VGA-1] ROM is extracted to vga.rom\n"
              "Can't found [PCI] ROM...\n");
    EXPECT_EQ(read_bytes(s.dir.file("vga.rom")), text_bytes("VGA one"));
}

TEST(Extract, StoredNameEndsAtItsFirstZeroByte) {
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, stored_module(std::string_view("vga.rom\0../x", 12), "4080:0", "VGA one"));
    Session s(b.bytes);
    s.run({"/vga", "extract"});
    EXPECT_EQ(s.out(),
              "VGA ROM - - - [1] : vga.rom\n"
              "Enter an extract file Name :(vga.rom) [VGA-1] ROM is extracted to vga.rom\n");
    EXPECT_EQ(read_bytes(s.dir.file("vga.rom")), text_bytes("VGA one"));
}

TEST(Extract, HeaderSumErrorStopsTheRunAndWritesNothing) {
    Bytes module = stored_module("vga.rom", "4080:0", "VGA one");
    module[codec::field::kHeaderSum] ^= 1;
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, module);
    Session s(b.bytes);
    s.run({"/vga", "extract", "out.rom"});
    EXPECT_EQ(s.outcome.status, 1);
    EXPECT_NE((s.outcome.out + s.outcome.err).find("Header sum error\n"), std::string::npos);
    EXPECT_EQ(s.dir.files(), std::vector<std::string>{"img.bin"});
}

TEST(Extract, StoredNameLeavingTheDirectoryIsRefused) {
    const bool outside_before = fs::exists(fs::temp_directory_path() / "x");
    for (const char* name_text : {"../x", "/x", "a/../../x", ".."}) {
        const std::string name = name_text;
        ImageBuilder b = base_image();
        b.put_module(kWalkStart, stored_module(name, "4080:0", "VGA one"));
        Session s(b.bytes);
        s.run({"/vga", "extract", "/err"});
        EXPECT_EQ(s.out(),
                  "VGA ROM - - - [1] : " + name + "\nEnter an extract file Name :(" + name +
                      ") The module's stored name \"" + name +
                      "\" is not a safe file name (empty, absolute or with a \"..\" component); nothing "
                      "is extracted. Name the file after \"extract\".\n"
                      "\n!!! Combine VGA have some error.\n")
            << name;
        EXPECT_EQ(s.outcome.status, 1) << name;
        EXPECT_EQ(s.dir.files(), std::vector<std::string>{"img.bin"}) << name;
        EXPECT_EQ(fs::exists(fs::temp_directory_path() / "x"), outside_before) << name;
        EXPECT_EQ(s.image(), b.bytes) << name;
    }
}

TEST(Extract, TypedNameMayLeaveTheDirectory) {
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, stored_module("../x", "4080:0", "VGA one"));
    Session s(b.bytes);
    fs::create_directory(s.dir.path / "sub");
    s.run({"/vga", "extract", "sub/../y.rom"});
    EXPECT_EQ(s.outcome.status, 0);
    EXPECT_EQ(read_bytes(s.dir.file("y.rom")), text_bytes("VGA one"));
}

TEST(Extract, EscapeInAStoredNameIsShownAsQuestionMark) {
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, stored_module("a\x1b[2Jb", "4080:0", "VGA one"));
    Session s(b.bytes);
    s.run({"/vga", "extract", "out\x1b.rom"});
#ifdef _WIN32
    // Windows allows no control character in a file name.
    EXPECT_EQ(s.out(),
              "VGA ROM - - - [1] : a?[2Jb\nCan't write the extract file out?.rom; nothing is extracted.\n");
#else
    EXPECT_EQ(s.out(), "VGA ROM - - - [1] : a?[2Jb\n[VGA-1] ROM is extracted to out?.rom\n");
#endif
}

TEST(Extract, NeverOverTheImageItself) {
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, stored_module("vga.rom", "4080:0", "VGA one"));
    Session s(b.bytes);
    s.run({"/vga", "extract", "img.bin", "/err"});
    EXPECT_EQ(s.out(),
              "VGA ROM - - - [1] : vga.rom\n"
              "img.bin is the image being edited; nothing is extracted over it.\n"
              "\n!!! Combine VGA have some error.\n");
    EXPECT_EQ(s.outcome.status, 1);
    EXPECT_EQ(s.image(), b.bytes);
}

TEST(Extract, IsaRomWithSegmentIsReadWithItsSuffixCleared) {
    // Added with a segment, an ISA ROM carries it over offsets 15-18 while
    // its header sum is the one taken with offsets 15-16 at 0.
    Bytes module = stored_module("seg.rom", "40A0:0", "segment ROM");
    base::write_u16(module, codec::field::kTypeSuffix, 0xC800);
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, module);
    Session s(b.bytes);
    s.run({"/isa", "extract", "seg.bin"});
    EXPECT_EQ(s.out(), "ISA ROM - - - [A] : seg.rom\n[ISA-A] ROM is extracted to seg.bin\n");
    EXPECT_EQ(read_bytes(s.dir.file("seg.bin")), text_bytes("segment ROM"));
    // Every option that reaches it reads it so, by its type.
    for (const char* type : {"40A0:0", "40A0:C800"}) {
        s.run({"/other", type, "extract", "o.bin"});
        EXPECT_EQ(s.out(), "[Other] ROM is extracted to o.bin") << type;
        EXPECT_EQ(read_bytes(s.dir.file("o.bin")), text_bytes("segment ROM")) << type;
    }
}

// The header's CRC-16 of the contents is compared: a damaged module's bytes
// are written (they may be all there is of it), but the item fails.
TEST(Extract, ModuleNotMatchingItsCrcIsWrittenAndFails) {
    Bytes module = stored_module("vga.rom", "4080:0", "VGA one");
    module[module[0] + 2u] ^= 0x20;  // the first data byte, which no header sum covers
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, module);
    Session s(b.bytes);
    s.run({"/vga", "extract", "out.rom", "/err"});
    char crcs[80];
    std::snprintf(crcs, sizeof crcs, "CRC %04Xh where its header records %04Xh",
                  codec::crc16(text_bytes("vGA one")), codec::crc16(text_bytes("VGA one")));
    EXPECT_EQ(s.out(),
              "VGA ROM - - - [1] : vga.rom\nThe module vga.rom (type 4080) at 00010000h is damaged: its "
              "contents have the " +
                  std::string(crcs) +
                  ". What was unpacked is written to out.rom all the same.\n\n!!! Combine VGA have "
                  "some error.\n");
    EXPECT_EQ(s.outcome.status, 1);
    EXPECT_EQ(read_bytes(s.dir.file("out.rom")), text_bytes("vGA one"));
}

// A default name from the image is its last component in the current
// directory, never followed through a planted folder or link; one with
// control bytes is refused.
TEST(Extract, DefaultNameFromTheImageIsItsLastComponentNeverThroughALink) {
    const struct {
        std::string stored;
        std::string file;
    } cases[] = {{"sub/y.rom", "y.rom"}, {"i:\\eprom\\vga.rom", "vga.rom"}, {"opt.rom", "opt.rom"}};
    for (const auto& c : cases) {
        ImageBuilder b = base_image();
        b.put_module(kWalkStart, stored_module(c.stored, "4080:0", "VGA one"));
        Session s(b.bytes);
#ifndef _WIN32
        fs::create_directory(s.dir.path / "elsewhere");
        fs::create_directory_symlink("elsewhere", s.dir.path / "sub");
        write_bytes(s.dir.file("victim"), text_bytes("victim"));
        fs::create_symlink("victim", s.dir.path / "opt.rom");
#endif
        s.run({"/vga", "extract"}, "\n");
        EXPECT_EQ(s.out(), "VGA ROM - - - [1] : " + c.stored + "\nEnter an extract file Name :(" + c.stored +
                               ") [VGA-1] ROM is extracted to " + c.file + "\n");
        EXPECT_EQ(read_bytes(s.dir.file(c.file)), text_bytes("VGA one"));
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(s.dir.path / c.file))) << c.stored;
#ifndef _WIN32
        EXPECT_EQ(read_bytes(s.dir.file("victim")), text_bytes("victim"));
        EXPECT_TRUE(fs::is_empty(s.dir.path / "elsewhere"));
#endif
    }
    const std::pair<std::string, std::string> controls[] = {{"a\a.rom", "a?.rom"},
                                                            {"a\rb.rom", "a?b.rom"},
                                                            {"x\n.rom", "x?.rom"},
                                                            {"\x9b"
                                                             "2J.rom",
                                                             "?2J.rom"}};
    for (const auto& [stored, shown] : controls) {
        ImageBuilder b = base_image();
        b.put_module(kWalkStart, stored_module(stored, "4080:0", "VGA one"));
        Session s(b.bytes);
        s.run({"/vga", "extract", "/err"});
        EXPECT_EQ(s.out(), "VGA ROM - - - [1] : " + shown + "\nEnter an extract file Name :(" + shown +
                               ") The module's stored name \"" + shown +
                               "\" holds control bytes; nothing is extracted. Name the file after "
                               "\"extract\".\n\n!!! Combine VGA have some error.\n");
        EXPECT_EQ(s.outcome.status, 1);
        EXPECT_EQ(s.dir.files(), std::vector<std::string>{"img.bin"});
    }
}

TEST(Extract, AcpiTablesAreListedWithTheirHeaderFields) {
    Bytes table(36, 0);
    base::copy_into(table, 0, base::view_of("DSDT"));
    base::copy_into(table, 16, base::view_of("OEMTABLE"));
    base::copy_into(table, 24, base::view_of("12"));  // ends early at a zero byte
    Bytes short_table = text_bytes("FAC");            // shorter than its fields
    ImageBuilder b = base_image();
    std::uint64_t at = b.put_module(kWalkStart, stored_module("dsdt.aml", "40C0:0", table));
    b.put_module(at, stored_module("facp.aml", "40C3:0", short_table));
    Session s(b.bytes);
    s.run({"/ACPIModule", "extract", "t.bin"}, "d");
    EXPECT_EQ(s.out(),
              "ACPI table ROM - - -  : Index Signature OemTableId OemRevision FileName\n"
              "ACPI table ROM - - -  : A     DSDT      OEMTABLE   12        dsdt.aml\n"
              "ACPI table ROM - - -  : D     FAC" +
                  std::string(6 + 3 + 8, ' ') +
                  "facp.aml\n"
                  "Enter a choice:[ACPI module-D] ROM is extracted to t.bin\n");
    EXPECT_EQ(read_bytes(s.dir.file("t.bin")), short_table);
}

TEST(Extract, UnknownMethodWritesNothing) {
    Bytes module = stored_module("vga.rom", "4080:0", "VGA one");
    module[codec::field::kMethod + 3] = '6';
    codec::update_header_sum(module);
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, module);
    Session s(b.bytes);
    s.run({"/vga", "extract", "out.rom", "/err"});
    EXPECT_EQ(s.outcome.err, "Unknown method: 54\n");
    EXPECT_EQ(s.out(),
              "VGA ROM - - - [1] : vga.rom\nThe module vga.rom (type 4080) at 00010000h is packed with the "
              "method \"-lh6-\", which kitra does not unpack; nothing is extracted.\n\n!!! Combine VGA have "
              "some error.\n");
    EXPECT_EQ(s.outcome.status, 1);
    EXPECT_FALSE(fs::exists(s.dir.file("out.rom")));
}

// ---------------------------------------------------------------- choice

ImageBuilder two_vga_roms() {
    ImageBuilder b = base_image();
    std::uint64_t at = b.put_module(kWalkStart, stored_module("one.rom", "4080:0", "first VGA"));
    b.put_module(at, stored_module("two.rom", "4081:0", "second VGA"));
    return b;
}

TEST(ReleaseChoice, KeyMatchingNoSlotChangesNothing) {
    const ImageBuilder b = two_vga_roms();
    for (const char* input : {"7", ""}) {
        Session s(b.bytes);
        s.run({"/vga", "extract", "out.rom", "/err"}, input);
        EXPECT_EQ(s.out(), "VGA ROM - - - [1] : one.rom\nVGA ROM - - - [2] : two.rom\nEnter a choice:");
        EXPECT_EQ(s.outcome.status, 0);  // not a failure
        EXPECT_EQ(s.dir.files(), std::vector<std::string>{"img.bin"});
        s.run({"/vga", "release", "/err"}, input);
        EXPECT_EQ(s.outcome.status, 0);
        EXPECT_EQ(s.image(), b.bytes);
    }
}

TEST(ReleaseChoice, KeyChoosesTheSecondVgaRom) {
    const ImageBuilder b = two_vga_roms();
    Session s(b.bytes);
    s.run({"/vga", "release"}, "2");
    EXPECT_EQ(
        s.out(),
        "VGA ROM - - - [1] : one.rom\nVGA ROM - - - [2] : two.rom\nEnter a choice:[VGA-2] ROM is release\n");
    EXPECT_EQ(s.outcome.status, 0);
    const std::uint64_t first_step = stored_module("one.rom", "4080:0", "first VGA").size();
    Bytes expected = b.bytes;
    std::fill(expected.begin() + static_cast<std::ptrdiff_t>(kWalkStart + first_step),
              expected.begin() + static_cast<std::ptrdiff_t>(kAreaEnd), 0xFF);
    EXPECT_TRUE(same_below(s.image(), expected, kAreaEnd));
}

TEST(ReleaseChoice, IsaKeysByLetterAndByDigit) {
    ImageBuilder b = base_image();
    std::uint64_t at = b.put_module(kWalkStart, stored_module("a.rom", "40A0:0", "slot A"));
    b.put_module(at, stored_module("one.rom", "40A4:0", "slot 1"));
    for (const char* key : {"1", "e", "E"}) {
        Session s(b.bytes);
        s.run({"/isa", "extract", "out.rom"}, key);
        EXPECT_EQ(s.out(),
                  "ISA ROM - - - [A] : a.rom\nISA ROM - - - [1] : one.rom\n"
                  "Enter a choice:[ISA-1] ROM is extracted to out.rom\n")
            << key;
        EXPECT_EQ(read_bytes(s.dir.file("out.rom")), text_bytes("slot 1")) << key;
    }
}

TEST(ReleaseChoice, KeyPastTheFamilyNeverTakesAnotherKind) {
    // ISA "6" names 0x40A9, past the last ISA slot 0x40A7: the module of
    // another kind that carries that ID is not touched.
    ImageBuilder b = base_image();
    std::uint64_t at = b.put_module(kWalkStart, stored_module("a.rom", "40A0:0", "slot A"));
    at = b.put_module(at, stored_module("one.rom", "40A4:0", "slot 1"));
    b.put_module(at, stored_module("other.rom", "40A9:0", "not an ISA ROM"));
    Session s(b.bytes);
    s.run({"/isa", "release", "/err"}, "6");
    EXPECT_EQ(s.out(),
              "ISA ROM - - - [A] : a.rom\nISA ROM - - - [1] : one.rom\n"
              "Enter a choice:Can't found [ISA] ROM...\n\n!!! Combine ISA have some error.\n");
    EXPECT_EQ(s.outcome.status, 17);
    EXPECT_EQ(s.image(), b.bytes);
}

TEST(ReleaseChoice, ListedSlotThatIsNotPresentIsNotFound) {
    const ImageBuilder b = two_vga_roms();
    Session s(b.bytes);
    s.run({"/vga", "release", "/err"}, "5");
    EXPECT_EQ(s.out(),
              "VGA ROM - - - [1] : one.rom\nVGA ROM - - - [2] : two.rom\n"
              "Enter a choice:Can't found [VGA] ROM...\n\n!!! Combine VGA have some error.\n");
    EXPECT_EQ(s.outcome.status, 1);
}

// ---------------------------------------------------------------- release

struct Chain {
    ImageBuilder b = base_image();
    Bytes a = stored_module("a.rom", "4001:0", "module A");
    Bytes v = stored_module("vga.rom", "4080:0", Bytes(0x123, 0x56));
    Bytes c = stored_module("c.rom", "4029:0", "module C, after the VGA ROM");
};

TEST(Release, LastModuleEndsTheChainAtItsPlace) {
    Chain ch;
    const std::uint64_t v_at = ch.b.put_module(kWalkStart, ch.a);
    ch.b.put_module(v_at, ch.v);
    Session s(ch.b.bytes);
    s.run({"/vga", "release"});
    EXPECT_EQ(s.out(), "VGA ROM - - - [1] : vga.rom\n[VGA-1] ROM is release\n");
    EXPECT_EQ(s.outcome.status, 0);
    Bytes expected = ch.b.bytes;
    std::fill(expected.begin() + static_cast<std::ptrdiff_t>(v_at),
              expected.begin() + static_cast<std::ptrdiff_t>(kAreaEnd), 0xFF);
    EXPECT_TRUE(same_below(s.image(), expected, kAreaEnd));
}

TEST(Release, MiddleModuleMovesTheRestDownByItsStep) {
    Chain ch;
    const std::uint64_t v_at = ch.b.put_module(kWalkStart, ch.a);
    const std::uint64_t c_at = ch.b.put_module(v_at, ch.v);
    const std::uint64_t end = ch.b.put_module(c_at, ch.c);
    Session s(ch.b.bytes);
    s.run({"/vga", "release"});
    EXPECT_EQ(s.outcome.status, 0);
    Bytes expected = ch.b.bytes;
    const std::uint64_t step = c_at - v_at;
    ASSERT_EQ(step, 0x123u + 27 + 7 + 1);  // header size + packed size + 3
    std::copy(ch.b.bytes.begin() + static_cast<std::ptrdiff_t>(c_at),
              ch.b.bytes.begin() + static_cast<std::ptrdiff_t>(end),
              expected.begin() + static_cast<std::ptrdiff_t>(v_at));
    std::fill(expected.begin() + static_cast<std::ptrdiff_t>(end - step),
              expected.begin() + static_cast<std::ptrdiff_t>(kAreaEnd), 0xFF);
    EXPECT_TRUE(same_below(s.image(), expected, kAreaEnd));
}

// A PE32 module runs at the address it was rebased to: a release in front
// of one makes it again where it lands, however it came into the image
// (here compressed, as a build may have put it there).
TEST(Release, InFrontOfAPositionDependentModuleMovesAndRebasesIt) {
    Chain ch;
    const std::uint64_t v_at = ch.b.put_module(kWalkStart, ch.a);
    const std::uint64_t pe_at = ch.b.put_module(v_at, ch.v);
    codec::Encoder encoder;
    const Bytes pe =
        codec::pack(test_data("pe32/pe_reloc.efi"), codec::PackMode::kQuiet, "pe.efi", "407B:0", encoder, {});
    ASSERT_TRUE(base::matches(pe, codec::field::kMethod, "-lh5-"));
    ch.b.put_module(pe_at, pe);
    // A bootext FixupDescriptor table above the compressed area, for kind 1:
    // category 3 at 0xE910 and 5 at 0xE900 from the region base 0x20000.
    const std::uint8_t table[] = {0, 9, 2, 0, 0, 0, 1, 0, 1, 0x10, 0xE9, 1, 0x00, 0xE9, 1};
    ch.b.put_text(0x2E800, "FixupDescriptor").put(0x2E800 + 15, table);
    Session s(ch.b.bytes);
    s.run({"/vga", "release", "/err"});
    EXPECT_EQ(s.out(), "VGA ROM - - - [1] : vga.rom\n[VGA-1] ROM is release\n");
    EXPECT_EQ(s.outcome.status, 0);
    const Bytes image = s.image();
    // Stored now, its data on the next 128-byte boundary after its 33-byte
    // header: 0x10080, the ROM address 0xFFFD0080.
    const auto m = codec::module_at(image, v_at);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->type_id, 0x407B);
    EXPECT_TRUE(m->stored);
    EXPECT_EQ(v_at + 33 + image[v_at + 31], 0x10080u);
    const Bytes expected = pe_reloc_at(0xFFFD0080);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image.begin() + 0x10080));
    EXPECT_EQ(m->packed_size, expected.size() + image[v_at + 31]);
    EXPECT_EQ(base::read_u32(image, 0x2E900), 0xFFFD0080u);
    EXPECT_EQ(base::read_u32(image, 0x2E910), 0xFFFD0480u);
    EXPECT_TRUE(std::all_of(image.begin() + static_cast<std::ptrdiff_t>(v_at + m->step()),
                            image.begin() + static_cast<std::ptrdiff_t>(kAreaEnd),
                            [](auto x) { return x == 0xFF; }));
}

TEST(Release, FixedKindAndGroupWithItsNumber) {
    Chain ch;
    const std::uint64_t v_at = ch.b.put_module(kWalkStart, ch.a);
    ch.b.put_module(v_at, stored_module("g3.bin", "402C:0", "group three"));
    Session s(ch.b.bytes);
    s.run({"/group3", "release"});
    EXPECT_EQ(s.out(), "[GROUP] ROM is release\n");
    s.run({"/cpucode", "release"});
    EXPECT_EQ(s.out(), "[CPUCODE] ROM is release\n");
    const Bytes image = s.image();
    EXPECT_TRUE(std::all_of(image.begin() + static_cast<std::ptrdiff_t>(kWalkStart),
                            image.begin() + static_cast<std::ptrdiff_t>(kAreaEnd),
                            [](auto x) { return x == 0xFF; }));
}

TEST(Release, KeepsATopHoleBelowTheCompressedAreaEnd) {
    Chain ch;
    const std::uint64_t v_at = ch.b.put_module(kWalkStart, ch.a);
    ch.b.put_module(v_at, ch.v);
    // A top hole of 0x1000 bytes at 0x28000, its trailer at 0x29000, enabled
    // by bit 4 of the "*BS1" flag byte (no microcode area).
    const Bytes hole = pseudo_random_bytes(0x1000, 3);
    ch.b.put(0x28000, hole);
    ch.b.put_trailer(0x29000, "$TopHole", 0x1000, "TOP_HOLE.BIN");
    ch.b.put_bs1_record(0x3F000, 0, 0x10);
    Session s(ch.b.bytes);
    s.run({"/vga", "release"});
    EXPECT_EQ(s.outcome.status, 0);
    Bytes expected = ch.b.bytes;
    std::fill(expected.begin() + static_cast<std::ptrdiff_t>(v_at), expected.begin() + 0x28000, 0xFF);
    EXPECT_TRUE(same_below(s.image(), expected, kAreaEnd));
}

TEST(Release, ModuleReachingPastTheModuleLimitIsRefused) {
    // The VGA ROM overlaps the top hole that starts at 0x28000.
    ImageBuilder b = base_image();
    b.put_module(0x27F00, stored_module("vga.rom", "4080:0", Bytes(0x200, 0x56)));
    b.put_module(kWalkStart,
                 stored_module("big.rom", "4001:0", Bytes(0x27F00 - kWalkStart - 27 - 7 - 1, 0x22)));
    b.put_trailer(0x29000, "$TopHole", 0x1000, "TOP_HOLE.BIN");
    b.put_bs1_record(0x3F000, 0, 0x10);
    Session s(b.bytes);
    s.run({"/vga", "release", "/err"});
    EXPECT_EQ(
        s.out(),
        "VGA ROM - - - [1] : vga.rom\n"
        "The module at 00027F00h reaches past the end of the module area (00028000h); it is not released. "
        "The image will be left unmodified.\n"
        "\n!!! Combine VGA have some error.\n");
    EXPECT_EQ(s.outcome.status, 1);
    EXPECT_EQ(s.image(), b.bytes);
}

// A stored module is copied without its separator byte, so one may end
// exactly at the module limit with its separator position belonging to the
// area above. Closing the chain must move it like any other.
TEST(Release, StoredModuleEndingAtTheLimitMovesDown) {
    Chain ch;
    const std::uint64_t v_at = ch.b.put_module(kWalkStart, ch.a);
    const std::uint64_t z_at = ch.b.put_module(v_at, ch.v);
    const Bytes z = stored_module("z.rom", "4029:0", Bytes(0x28000 - z_at - 27 - 5, 0x77));
    ch.b.put(z_at, Bytes(z.begin(), z.end() - 1));  // no separator: it would be the top hole's first byte
    const Bytes hole = pseudo_random_bytes(0x1000, 3);
    ch.b.put(0x28000, hole).put_trailer(0x29000, "$TopHole", 0x1000, "TOP_HOLE.BIN");
    ch.b.put_bs1_record(0x3F000, 0, 0x10);
    Session s(ch.b.bytes);
    s.run({"/vga", "release"});
    EXPECT_EQ(s.outcome.status, 0);
    Bytes expected = ch.b.bytes;
    const std::uint64_t step = z_at - v_at;
    std::copy(ch.b.bytes.begin() + static_cast<std::ptrdiff_t>(z_at), ch.b.bytes.begin() + 0x28000,
              expected.begin() + static_cast<std::ptrdiff_t>(v_at));
    std::fill(expected.begin() + static_cast<std::ptrdiff_t>(0x28000 - step), expected.begin() + 0x28000,
              0xFF);
    EXPECT_TRUE(same_below(s.image(), expected, kAreaEnd));
}

// Closing the chain up would fill everything up to the limit with 0xFF: a
// chain that meets something else than a module or the erased free end (a
// gap, then the vendor's data) is not closed up, by a release or by an add
// that replaces a module.
TEST(Release, ChainBrokenBeforeItsFreeEndIsRefusedAndNothingMoves) {
    Chain ch;
    const std::uint64_t v_at = ch.b.put_module(kWalkStart, ch.a);
    const std::uint64_t gap_at = ch.b.put_module(v_at, ch.v);
    ch.b.put(gap_at, Bytes(0x40, 0x00)).put(gap_at + 0x40, pseudo_random_bytes(0x100, 4));
    char broken[80];
    std::snprintf(broken, sizeof broken, "The module chain of img.bin is broken at offset %llXh: ",
                  static_cast<unsigned long long>(gap_at));
    const struct {
        std::vector<std::string> args;
        std::string out;
        int status;
    } cases[] = {
        {{"/vga", "release", "/err"},
         "VGA ROM - - - [1] : vga.rom\n" + std::string(broken) +
             "nothing is released, moved or erased.\n\n!!! Combine VGA have some error.\n",
         1},
        // A failing /cpucode release counts, unlike a missing built-in input.
        {{"/cpucode", "release", "/err"},
         std::string(broken) +
             "nothing is released, moved or erased.\n\n!!! Combine CPUCODE have some error.\n",
         8},
        {{"/cpucode", "cpu.bin", "/err"},
         "Adding cpu.bin  9.0%\n" + std::string(broken) +
             "no free space found for cpu.bin.\n\n!!! Combine CPUCODE have some error.\n",
         8},
    };
    for (const auto& c : cases) {
        Session s(ch.b.bytes);
        write_bytes(s.dir.file("cpu.bin"), Bytes(100, 1));
        s.run(c.args);
        EXPECT_EQ(s.out(), c.out);
        EXPECT_EQ(s.outcome.status, c.status);
        EXPECT_EQ(s.image(), ch.b.bytes);
    }
}

// ---------------------------------------------------------------- not found

TEST(Release, NotFoundMessagesAndErrorStatus) {
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, stored_module("a.rom", "4001:0", "module A"));
    struct Case {
        std::vector<std::string> args;
        std::string out;
        int status;
    };
    const Case cases[] = {
        {{"/pci", "release", "/err"}, "Can't found [PCI] ROM...\n\n!!! Combine PCI have some error.\n", 13},
        {{"/isa", "extract", "/err"}, "Can't found [ISA] ROM...\n\n!!! Combine ISA have some error.\n", 17},
        {{"/group5", "release", "/err"},
         "Can't found [GROUP5] ROM...\n\n!!! Combine GROUP have some error.\n",
         53},
        {{"/vga", "release", "/err"}, "Can't found [VGA] ROM...\n\n!!! Combine VGA have some error.\n", 1},
        {{"/ACPIModule", "release", "/err"},
         "ACPI table ROM - - -  : Index Signature OemTableId OemRevision FileName\n"
         "Can't found [ACPIModule] ROM...\n\n!!! Combine ACPIModule have some error.\n",
         131},
        {{"/mib", "extract", "x.doc", "/err"},
         "Can't found [MIB] ROM...\n\n!!! Combine MIB have some error.\n",
         25},
        {{"/TOPHOLE", "extract", "/err"},
         "Can't found [TOPHOLE] ROM...\n\n!!! Combine TOPHOLE have some error.\n",
         144},
        {{"/NC_CPUCODE", "release", "/err"},
         "Can't found [NC_CPUCODE] ROM...\n\n!!! Combine NC_CPUCODE have some error.\n",
         71},
        {{"/pci", "release"}, "Can't found [PCI] ROM...\n", 0},
    };
    for (const Case& c : cases) {
        Session s(b.bytes);
        s.run(c.args);
        EXPECT_EQ(s.out(), c.out) << c.args[0];
        EXPECT_EQ(s.outcome.status, c.status) << c.args[0];
        EXPECT_EQ(s.dir.files(), std::vector<std::string>{"img.bin"}) << c.args[0];
    }
}

TEST(Release, ErasedPackedSizeEndsTheSearch) {
    ImageBuilder b = base_image();
    Bytes erased = stored_module("e.rom", "4001:0", "x");
    base::write_u32(erased, codec::field::kPackedSize, 0xFFFFFFFF);
    const std::uint64_t at = b.put_module(kWalkStart, stored_module("a.rom", "4029:0", "module A"));
    b.put(at, erased);
    b.put_module(at + 0x100, stored_module("vga.rom", "4080:0", "VGA behind the end"));
    Session s(b.bytes);
    s.run({"/cpucode", "release"});
    EXPECT_EQ(s.out(), "Can't found [CPUCODE] ROM...\n");
    s.run({"/vga", "extract", "v.rom"});
    EXPECT_EQ(s.out(), "Can't found [VGA] ROM...\n");
}

// ---------------------------------------------------------------- special areas

TEST(Extract, TopHoleAndMicrocodeAreaDataToTheirFiles) {
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, stored_module("a.rom", "4001:0", "module A"));
    const Bytes hole = pseudo_random_bytes(0x800, 5);
    b.put(0x28000, hole).put_trailer(0x28800, "$TopHole", 0x800, "TOP_HOLE.BIN");
    const Bytes microcode = pseudo_random_bytes(0x400, 9);
    b.put(0x2A000, microcode).put_trailer(0x2A400, "*ALIN16*", 0x400, "NCPUCODE.BIN");
    // The microcode area at 0x2A000: its physical address in a 256 KiB image.
    b.put_bs1_record(0x3F000, 0xFFFEA000, 0x10);
    Session s(b.bytes);
    s.run({"/TOPHOLE", "extract"});
    EXPECT_EQ(s.out(), "[TOPHOLE] ROM is extracted to TOP_HOLE.BIN");
    EXPECT_EQ(read_bytes(s.dir.file("TOP_HOLE.BIN")), hole);
    s.run({"/NC_CPUCODE", "extract"});
    EXPECT_EQ(s.out(), "[NC_CPUCODE] ROM is extracted to NCPUCODE.BIN");
    EXPECT_EQ(read_bytes(s.dir.file("NCPUCODE.BIN")), microcode);
    s.run({"/NC_CPUCODE", "extract", "mc.bin"});
    EXPECT_EQ(s.out(), "[NC_CPUCODE] ROM is extracted to mc.bin");
    EXPECT_EQ(read_bytes(s.dir.file("mc.bin")), microcode);
    EXPECT_EQ(s.image(), b.bytes);
}

TEST(Release, TopHoleIsErasedWhenTheRunEnds) {
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, stored_module("a.rom", "4001:0", "module A"));
    b.put(0x28000, pseudo_random_bytes(0x800, 5)).put_trailer(0x28800, "$TopHole", 0x800, "TOP_HOLE.BIN");
    b.put_bs1_record(0x3F000, 0, 0x10);
    Session s(b.bytes);
    s.run({"/TOPHOLE", "release"});
    EXPECT_EQ(s.out(), "[TOPHOLE] ROM is release\n");
    EXPECT_EQ(s.outcome.status, 0);
    Bytes expected = b.bytes;
    std::fill(expected.begin() + 0x28000, expected.begin() + 0x28820, 0xFF);
    EXPECT_TRUE(same_below(s.image(), expected, kAreaEnd));
}

TEST(Release, MicrocodeAreaIsClearedWhenTheImageIsFinished) {
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, stored_module("a.rom", "4001:0", "module A"));
    b.put(0x2A000, pseudo_random_bytes(0x400, 9)).put_trailer(0x2A400, "*ALIN16*", 0x400, "NCPUCODE.BIN");
    b.put_bs1_record(0x3F000, 0xFFFEA000, 0);
    Session s(b.bytes);
    s.run({"/NC_CPUCODE", "release"});
    EXPECT_EQ(s.out().rfind("[NC_CPUCODE] ROM is release\n", 0), 0u) << s.out();
    EXPECT_EQ(s.outcome.status, 0);
    Bytes expected = b.bytes;
    std::fill(expected.begin() + 0x2A000, expected.begin() + 0x2A420, 0xFF);
    EXPECT_TRUE(same_below(s.image(), expected, kAreaEnd));
}

// ---------------------------------------------------------------- names

TEST(ExtractName, DefaultNamesThatStayInTheDirectory) {
    using edit::usable_as_default_name;
    EXPECT_TRUE(usable_as_default_name("vga.rom"));
    EXPECT_TRUE(usable_as_default_name("sub/vga.rom"));
    EXPECT_TRUE(usable_as_default_name("..rom"));
    EXPECT_TRUE(usable_as_default_name("a/..b/c"));
    EXPECT_TRUE(usable_as_default_name("i:\\eprom\\vga.rom"));
    EXPECT_FALSE(usable_as_default_name(""));
    EXPECT_FALSE(usable_as_default_name("/etc/passwd"));
    EXPECT_FALSE(usable_as_default_name(".."));
    EXPECT_FALSE(usable_as_default_name("../x"));
    EXPECT_FALSE(usable_as_default_name("a/.."));
    EXPECT_FALSE(usable_as_default_name("a//../b"));
}

}  // namespace
}  // namespace kitra::testing
