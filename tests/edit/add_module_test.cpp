// Adding and replacing modules, through the built tool on images written
// into a fresh directory. Finishing rewrites checksum bytes in the base
// window, so the compressed area below it is what these tests compare.
#include <gtest/gtest.h>

#include "base/text.h"
#include "codec/lzh_encoder.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "platform/files.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"

namespace kitra::edit {
namespace {

using base::Bytes;
using testing::ImageBuilder;
using testing::option_rom;
using testing::run_kitra;
using testing::stored_module;
using testing::TempDir;

constexpr std::uint64_t kWalkStart = 0x10000;
constexpr std::uint64_t kAreaEnd = 0x20000;  // the compressed-area limit of these images

// 256 KiB: a stored system BIOS at 0, "*BBSS*" with the compressed area up to
// 0x20000 and the checksum block and balance word above it.
ImageBuilder base_image() {
    ImageBuilder b(256 * 1024);
    b.put(0, stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    b.put_bootblock_record(0x20100, 0, 0xF000, 0x0000, 0xE000);
    return b;
}

Bytes area(const Bytes& image) {
    return Bytes(image.begin(), image.begin() + kAreaEnd);
}

Bytes packed(const Bytes& data, const std::string& name, const std::string& type,
             codec::PackMode mode = codec::PackMode::kQuiet) {
    static codec::Encoder encoder;
    return codec::pack(data, mode, name, type, encoder, codec::Report{});
}

// The module as it is copied into the image: a stored one without its separator.
Bytes as_copied(Bytes module) {
    const auto info = codec::module_at(module, 0);
    module.resize(info->stored ? info->length() : info->length() + 1);
    return module;
}

Bytes with_type(Bytes module, std::uint16_t type) {
    base::write_u16(module, codec::field::kTypeId, type);
    codec::update_header_sum(module);
    return module;
}

struct Fixture {
    TempDir dir;
    void write(const std::string& name, const Bytes& bytes) {
        ASSERT_TRUE(platform::write_file(dir.file(name), bytes));
    }
    Bytes image() { return *platform::read_file(dir.file("bios.bin")); }
    testing::Outcome run(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), "bios.bin");
        return run_kitra(args, dir.path, input);
    }
};

const std::string kBanner = "kitra V1.99 [02/12/2010]\n";

TEST(AddModule, VgaRomWithTheSameKeyReplacesItsModuleAndTakesTheFirstFreeSlot) {
    const Bytes rom_a = option_rom(0x1002, 0x0001, 4, 1);
    const Bytes rom_b = option_rom(0x1002, 0x0002, 4, 2);
    const Bytes rom_b2 = option_rom(0x1002, 0x0002, 6, 3);  // same vendor, device, class as rom_b

    // Only slot 0x4081 holds a ROM with the same key: the new ROM takes 0x4080.
    Fixture f;
    ImageBuilder b = base_image();
    b.put(kWalkStart, packed(rom_b, "b.rom", "4081:0"));
    f.write("bios.bin", b.bytes);
    f.write("new.rom", rom_b2);
    const auto o = f.run({"/vga", "new.rom"});
    EXPECT_EQ(o.out.rfind(kBanner + "Adding new.rom  ", 0), 0u) << o.out;
    EXPECT_EQ(o.status, 0);
    ImageBuilder expected = base_image();
    expected.put(kWalkStart, as_copied(with_type(packed(rom_b2, "new.rom", "4080:0"), 0x4080)));
    EXPECT_EQ(area(f.image()), area(expected.bytes));

    // 0x4080 holds another ROM: the new one takes 0x4081 in place of the old.
    Fixture g;
    b = base_image();
    const std::uint64_t next = b.put_module(kWalkStart, packed(rom_a, "a.rom", "4080:0"));
    b.put(next, packed(rom_b, "b.rom", "4081:0"));
    g.write("bios.bin", b.bytes);
    g.write("new.rom", rom_b2);
    EXPECT_EQ(g.run({"/vga", "new.rom"}).status, 0);
    expected = base_image();
    const std::uint64_t after = expected.put_module(kWalkStart, packed(rom_a, "a.rom", "4080:0"));
    expected.put(after, as_copied(with_type(packed(rom_b2, "new.rom", "4080:0"), 0x4081)));
    EXPECT_EQ(area(g.image()), area(expected.bytes));
}

TEST(AddModule, SeventhVgaRomIsRefusedAndChangesNothing) {
    Fixture f;
    ImageBuilder b = base_image();
    std::uint64_t at = kWalkStart;
    for (std::uint16_t slot = 0; slot < 6; ++slot)
        at = b.put_module(at, stored_module("v.rom", "408" + std::to_string(slot) + ":0",
                                            option_rom(0x10DE, slot, 1, slot)));
    f.write("bios.bin", b.bytes);
    f.write("seven.rom", option_rom(0x10DE, 7, 1, 7));
    const auto o = f.run({"/vga", "seven.rom", "/err"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("WARNING : VGA ROM Max 6 slots.\n!!! Combine VGA have some error.\n"),
              std::string::npos)
        << o.out;
    EXPECT_EQ(f.image(), b.bytes);
}

TEST(AddModule, ReadyModuleIsInsertedUnchanged) {
    Fixture f;
    f.write("bios.bin", base_image().bytes);
    const Bytes ready = packed(testing::code_like(5000, 4), "logo.bmp", "4000:0");
    f.write("ready.lzh", ready);
    const auto o = f.run({"/logo", "ready.lzh"});
    EXPECT_EQ(o.out, kBanner + "Combine ready.lzh file to bios.bin...\n");
    ImageBuilder expected = base_image();
    expected.put(kWalkStart, ready);
    EXPECT_EQ(area(f.image()), area(expected.bytes));
}

TEST(AddModule, ExecutableLoadImageIsStoredUnlessTheKindPacksItWhole) {
    Bytes exe = testing::code_like(3000, 5);
    exe[0] = 'M', exe[1] = 'Z';
    base::write_u16(exe, 8, 2);  // a 32-byte header
    const Bytes body(exe.begin() + 32, exe.end());

    Fixture f;
    f.write("bios.bin", base_image().bytes);
    f.write("app.exe", exe);
    EXPECT_EQ(f.run({"/hpm", "app.exe"}).out, kBanner + "Adding app.exe  100.0%\n");
    ImageBuilder expected = base_image();
    expected.put(kWalkStart, as_copied(packed(body, "app.exe", "4005:0", codec::PackMode::kStore)));
    EXPECT_EQ(area(f.image()), area(expected.bytes));
    EXPECT_EQ(*platform::read_file(f.dir.file("app.exe")), exe);  // the user's file is untouched
    EXPECT_EQ(f.dir.files(), (std::vector<std::string>{"app.exe", "bios.bin"}));

    Fixture g;
    g.write("bios.bin", base_image().bytes);
    g.write("app.exe", exe);
    EXPECT_EQ(g.run({"/EFI0", "app.exe"}).status, 0);
    expected = base_image();
    expected.put(kWalkStart, packed(exe, "app.exe", "406A:0"));
    EXPECT_EQ(area(g.image()), area(expected.bytes));
}

TEST(AddModule, CalsReportsTheSizeAndLeavesTheImageAlone) {
    Fixture f;
    const Bytes image = base_image().bytes;
    f.write("bios.bin", image);
    const Bytes data = testing::code_like(9000, 6);
    f.write("x.bin", data);
    const double kb = static_cast<double>(packed(data, "x.bin", "4068:0").size()) / 1024.0;
    EXPECT_EQ(f.run({"/CALS", "x.bin", "/vga", "x.bin"}).out,
              kBanner + base::format("x.bin compressed size is ... %.2fK\n", kb));
    EXPECT_EQ(f.image(), image);
}

TEST(AddModule, NoCompressAlignsTheDataBehindAGrownHeader) {
    Fixture f;
    f.write("bios.bin", base_image().bytes);
    const Bytes data = testing::code_like(100, 7);
    // A 14-character name puts the data at 0x10000 + 39 + 2: ...9, so 7 bytes pad.
    f.write("nocompress.bin", data);
    EXPECT_EQ(f.run({"/NoCompress", "nocompress.bin"}).out,
              kBanner + "Adding nocompress.bin  100.0%\nCombine nocompress.bin file to bios.bin...\n");
    const Bytes img = f.image();
    const auto m = codec::module_at(img, kWalkStart);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->header_size, 39 + 7);
    EXPECT_EQ(m->packed_size, 100u + 7);
    EXPECT_EQ((kWalkStart + m->header_size + 2) % 16, 0u);
    EXPECT_EQ(m->name, "nocompress.bin" + std::string(7, '\xFF'));
    EXPECT_EQ(codec::header_sum(base::ByteView(img).subspan(kWalkStart)), img[kWalkStart + 1]);
    const std::uint64_t data_at = kWalkStart + m->header_size + 2;
    EXPECT_EQ(Bytes(img.begin() + data_at, img.begin() + data_at + 100), data);
    EXPECT_EQ(img[data_at + 100], 0x00);  // the separator, then erased bytes
    EXPECT_EQ(img[data_at + 101], 0xFF);
}

TEST(AddModule, ModuleEndingExactlyAtTheLimitFitsOneByteMoreDoesNot) {
    const std::string name = "big.bin";  // header 34 bytes
    for (std::uint64_t extra : {0, 1}) {
        Fixture f;
        f.write("bios.bin", base_image().bytes);
        const Bytes ready = stored_module(name, "4012:0", Bytes(kAreaEnd - kWalkStart - 34 + extra, 0x5A));
        f.write(name, ready);
        const auto o = f.run({"/oem0", name, "/err"});
        if (extra == 0) {
            EXPECT_EQ(o.status, 0) << o.out;
            EXPECT_EQ(f.image()[kAreaEnd - 1], 0x5A);
        } else {
            EXPECT_EQ(o.out, kBanner +
                                 "Combine big.bin file to bios.bin...\n"
                                 "bios.bin have not enough space for adding ROM. (Over 0001h bytes)\n\n"
                                 "\n!!! Combine OEM0 have some error.\n");
            EXPECT_EQ(o.status, 28);
            EXPECT_EQ(f.image(), base_image().bytes);
        }
    }
}

TEST(AddModule, FailedReplacePutsTheRemovedModuleBack) {
    Fixture f;
    ImageBuilder b = base_image();
    const Bytes old = stored_module("old.bin", "4012:0", Bytes(0x100, 1));
    b.put(kWalkStart, old);
    f.write("bios.bin", b.bytes);
    f.write("new.bin", stored_module("new.bin", "4012:0", Bytes(0x10000, 2)));
    const auto o = f.run({"/oem0", "new.bin"});
    EXPECT_NE(o.out.find("have not enough space"), std::string::npos);
    EXPECT_EQ(o.status, 0);
    // Without /err the run finishes the image, but the old module is back.
    EXPECT_EQ(area(f.image()), area(b.bytes));
}

TEST(AddModule, TopHoleBelowTheChainEndIsRefusedWithTheDistance) {
    Fixture f;
    ImageBuilder b = base_image();
    b.put(kWalkStart, stored_module("m.bin", "4012:0", Bytes(0x1000, 1)));  // chain ends at 0x11021
    f.write("bios.bin", b.bytes);
    f.write("hole.bin", Bytes(0x100, 7));
    // 0xFFFD1000 in a 256 KiB image is file offset 0x11000: 0x21 bytes into the chain.
    const auto o = f.run({"/TopHole:FFFD1000", "hole.bin", "/err"});
    EXPECT_EQ(o.out, kBanner +
                         "bios.bin have not enough space for adding ROM. (Over 0021h bytes)\n\n"
                         "\n!!! Combine TOPHOLE have some error.\n");
    EXPECT_EQ(f.image(), b.bytes);
}

TEST(AddModule, MicrocodeAreaAppendsEachLoadImageAndMovesBelowANewTopHole) {
    Fixture f;
    ImageBuilder b = base_image();
    b.put_bs1_record(0x2A100, 0, 0x00);
    f.write("bios.bin", b.bytes);
    auto exe_with = [](std::uint8_t fill, std::size_t size) {
        Bytes exe(32 + size, fill);
        exe[0] = 'M', exe[1] = 'Z';
        base::write_u16(exe, 8, 2);
        return exe;
    };
    f.write("a.exe", exe_with(0xA1, 0x300));
    f.write("b.exe", exe_with(0xB2, 0x500));
    EXPECT_EQ(f.run({"/NC_CPUCODE", "a.exe"}).out, kBanner + "Combine NCPUCODE.BIN file to bios.bin...\n");
    EXPECT_EQ(f.run({"/NC_CPUCODE", "b.exe"}).status, 0);
    Bytes img = f.image();
    // One area of 0x800 bytes at the top of the compressed area, then its trailer.
    const std::uint64_t start = kAreaEnd - 0x800 - 32;
    EXPECT_EQ(img[start], 0xA1);
    EXPECT_EQ(img[start + 0x2FF], 0xA1);
    EXPECT_EQ(img[start + 0x300], 0xB2);
    EXPECT_EQ(img[start + 0x7FF], 0xB2);
    EXPECT_EQ(std::string(img.begin() + start + 0x800, img.begin() + start + 0x808), "*ALIN16*");
    EXPECT_EQ(base::read_u32(img, start + 0x808), 0x800u);
    EXPECT_EQ(std::string(img.begin() + start + 0x810, img.begin() + start + 0x81C), "NCPUCODE.BIN");
    // The "*BS1" pointer names the area.
    EXPECT_EQ(base::read_u32(img, 0x2A100 + 11), static_cast<std::uint32_t>(start - 256 * 1024));

    // A top hole of 0x800 bytes at 0x1F000 leaves less than 0x820 bytes above
    // it: the microcode area moves right below the new top hole.
    f.write("hole.bin", Bytes(0x800, 0x77));
    const auto o = f.run({"/TopHole:FFFDF000", "hole.bin"});
    EXPECT_EQ(o.status, 0) << o.out;
    img = f.image();
    const std::uint64_t moved = 0x1F000 - 0x800 - 32;
    EXPECT_EQ(img[moved], 0xA1);
    EXPECT_EQ(std::string(img.begin() + moved + 0x800, img.begin() + moved + 0x808), "*ALIN16*");
    EXPECT_EQ(img[0x1F000], 0x77);
    EXPECT_EQ(std::string(img.begin() + 0x1F800, img.begin() + 0x1F808), "$TopHole");
    EXPECT_EQ(base::read_u32(img, 0x1F808), 0x800u);
    // What the old area held above the top hole's trailer is erased.
    EXPECT_EQ(Bytes(img.begin() + 0x1F820, img.begin() + kAreaEnd), Bytes(kAreaEnd - 0x1F820, 0xFF));
    EXPECT_EQ(base::read_u32(img, 0x2A100 + 11), static_cast<std::uint32_t>(moved - 256 * 1024));
}

}  // namespace
}  // namespace kitra::edit

namespace kitra::edit {
namespace {

// An ACPI table: signature, length, revision, checksum, OEM ID, OEM table ID.
Bytes acpi_table(const char* signature, const char* oem_table_id) {
    Bytes t(64, 0);
    std::copy(signature, signature + 4, t.begin());
    base::write_u32(t, 4, 64);
    std::copy_n("KITRA ", 6, t.begin() + 10);
    std::copy_n(oem_table_id, 8, t.begin() + 16);
    return t;
}

TEST(AddModule, EleventhAcpiSdtModuleStopsTheRunAndDiscardsIt) {
    Fixture f;
    ImageBuilder b = base_image();
    std::uint64_t at = kWalkStart;
    for (int slot = 0; slot < 10; ++slot) {
        const std::string id = "TABLE00" + std::to_string(slot);
        at = b.put_module(
            at, stored_module("t.aml", base::format("40C%X:0", slot), acpi_table("SSDT", id.c_str())));
    }
    f.write("bios.bin", b.bytes);
    f.write("oem.bin", Bytes(100, 1));
    f.write("new.aml", acpi_table("SSDT", "TABLE010"));
    const auto o = f.run({"/oem1", "oem.bin", "/ACPIModule", "new.aml"});
    EXPECT_EQ(o.status, 1);
    const std::string ending = "ERROR : ACPI SDT ROM Max 10 slots.\n";
    EXPECT_EQ(o.out.rfind(kBanner + "Adding oem.bin  9.0%\nAdding new.aml  ", 0), 0u) << o.out;
    EXPECT_EQ(o.out.substr(o.out.size() - ending.size()), ending);
    EXPECT_EQ(f.image(), b.bytes);  // the /oem1 added before is discarded too
}

TEST(AddModule, IsaRomThatIsAlreadyThereIsRefused) {
    Fixture f;
    const Bytes rom = option_rom(0, 0, 2, 4);
    ImageBuilder b = base_image();
    b.put(kWalkStart, packed(rom, "isa.rom", "40A4:0"));
    f.write("bios.bin", b.bytes);
    f.write("again.rom", rom);
    const auto o = f.run({"/isa", "again.rom", "/err"});
    EXPECT_NE(o.out.find("CAUTION : This [again.rom] ISA ROM Exist\n!!! Combine ISA have some error.\n"),
              std::string::npos)
        << o.out;
    EXPECT_EQ(o.status, 17);
    EXPECT_EQ(f.image(), b.bytes);
}

TEST(AddModule, FileThatIsNoOptionRomEndsTheLoop) {
    Fixture f;
    f.write("bios.bin", base_image().bytes);
    f.write("bad.rom", Bytes(1024, 0x90));
    f.write("x.bin", Bytes(64, 1));
    const auto o = f.run({"/pci", "bad.rom", "/oem0", "x.bin"});
    EXPECT_EQ(o.out, kBanner + "Adding bad.rom  1.1%\nCAUTION: bad.rom file is not BIOS ROM");
    EXPECT_EQ(f.image(), base_image().bytes);  // /oem0 never ran
}

TEST(AddModule, ReadyModuleCutShortIsRefused) {
    Fixture f;
    f.write("bios.bin", base_image().bytes);
    Bytes cut = packed(testing::code_like(4000, 5), "cut.bin", "4012:0");
    cut.resize(cut.size() / 2);
    f.write("cut.bin", cut);
    const auto o = f.run({"/oem0", "cut.bin", "/err"});
    EXPECT_EQ(o.out,
              kBanner +
                  "cut.bin is not a complete module: its header or data reach past the end of the file.\n"
                  "\n!!! Combine OEM0 have some error.\n");
    EXPECT_EQ(f.image(), base_image().bytes);
}

}  // namespace
}  // namespace kitra::edit

namespace kitra::edit {
namespace {

// A crafted image whose chain runs on into the microcode area, with a module
// of the kind being added there: that module is not the chain's to remove,
// and the walk must not stay at it for ever.
TEST(AddModule, ModuleOfTheSameKindInsideASpecialAreaIsLeftAndTheItemFails) {
    Fixture f;
    ImageBuilder b = base_image();
    b.put(kWalkStart, stored_module("old.bin", "4012:0", Bytes(0x100, 1)));
    b.put_bs1_record(0x2A100, 0xFFFD0000, 0x00);  // the microcode area starts at the walk start
    b.put_trailer(kWalkStart + 0x800, "*ALIN16*", 0x800, "NCPUCODE.BIN");
    f.write("bios.bin", b.bytes);
    f.write("new.bin", Bytes(0x100, 2));
    const auto o = f.run({"/oem0", "new.bin", "/err"});
    EXPECT_EQ(o.out,
              kBanner + "Adding new.bin  3.5%\n" +
                  "The module at 00010000h lies at or beyond the end of the module area (00010000h); it is "
                  "not removed, and the image is left unmodified for it.\n\n!!! Combine OEM0 have some "
                  "error.\n");
    EXPECT_EQ(o.status, 28);
    EXPECT_EQ(f.image(), b.bytes);
}

}  // namespace
}  // namespace kitra::edit
