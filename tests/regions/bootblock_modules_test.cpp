// The on-board VGA ROM, the nVidia memory module and the PMU ROM in their
// bootblock areas, through the built tool, and their listing lines.
#include "regions/bootblock_modules.h"

#include <gtest/gtest.h>

#include "codec/lzh_encoder.h"
#include "codec/packer.h"
#include "platform/files.h"
#include "support/captured_console.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"

namespace kitra::regions {
namespace {

using base::Bytes;
using testing::ImageBuilder;

const std::string kBanner = "kitra V1.99 [02/12/2010]\n";
const std::string kNoSpace = "bios.bin have not enough space for adding ROM.\n\n";
const std::string kUnmodified = "; the image is left unmodified for it.\n";

// `size` bytes with a system BIOS module: 512 KiB has the extended bootblock
// layout ("*BBSS*" word +8 = 0001h); finishing writes only at 0x7E054 and
// from 0x7F000 there, and on 256 KiB below 0x30000 and at 0x3E054.
ImageBuilder image_of(std::size_t size) {
    ImageBuilder b(size);
    Bytes bios = testing::stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11));
    if (size > 0x40000) base::copy_into(bios, 2, base::view_of("-lh5-"));
    b.put(0, bios);
    if (size == 0x80000) b.put_bootblock_record(0x70100, 0x000F, 0x0001, 0x0000, 0x8006);
    if (size == 0x40000) b.put_bootblock_record(0x20100, 0, 0xF000, 0x0000, 0xE000);
    return b;
}

Bytes vga_rom(std::uint8_t blocks, std::size_t extra = 0) {
    Bytes rom = testing::pseudo_random_bytes(std::size_t{blocks} * 512 + extra, blocks);
    rom[0] = 0x55, rom[1] = 0xAA, rom[2] = blocks;
    return rom;
}

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Session {
    testing::TempDir dir;
    explicit Session(const Bytes& image) { write("bios.bin", image); }
    void write(const std::string& name, const Bytes& bytes) {
        ASSERT_TRUE(platform::write_file(dir.file(name), bytes));
    }
    testing::Outcome run(const std::string& option, const std::string& file, const Bytes& contents) {
        write(file, contents);
        return testing::run_kitra({"bios.bin", option, file, "/err"}, dir.path);
    }
    Bytes image(std::uint64_t from, std::uint64_t to) const {
        const Bytes all = *platform::read_file(dir.file("bios.bin"));
        return {all.begin() + static_cast<std::ptrdiff_t>(from),
                all.begin() + static_cast<std::ptrdiff_t>(to)};
    }
};

TEST(OnBoardVga, RomAreaTakesTheRomLengthAndErasesTheRest) {
    ImageBuilder b = image_of(0x80000);
    b.put_text(0x7DBF0, "BtBkVgaRom").fill(0x7DC00, 0x400, 0x5A);  // 1 KiB up to 0x7E000
    Session s(b.bytes);
    const std::string added = kBanner + "Adding v.rom into BootBlock ..... Success\n";
    const Bytes fits = vga_rom(2, 0x40);  // the bytes past its length stay out
    EXPECT_EQ(s.run("/btvga", "v.rom", fits).out, added);
    EXPECT_EQ(s.image(0x7DC00, 0x7E040), cat(Bytes(fits.begin(), fits.begin() + 0x400), Bytes(0x40, 0xFF)));
    const Bytes half = cat(vga_rom(1), Bytes(0x200, 0xFF));
    EXPECT_EQ(s.run("/btvga", "v.rom", vga_rom(1)).out, added);
    EXPECT_EQ(s.image(0x7DC00, 0x7E000), half);
    EXPECT_EQ(s.run("/btvga", "v.rom", vga_rom(3)).out,
              kBanner + kNoSpace + "\n!!! Combine  have some error.\n");
    EXPECT_EQ(s.image(0x7DC00, 0x7E000), half);
}

TEST(OnBoardVga, ModuleAreaNeedsMoreRoomThanTheModule) {
    const Bytes rom = vga_rom(4);
    testing::CapturedConsole quiet;
    codec::Encoder encoder;
    const Bytes module =
        codec::pack(rom, codec::PackMode::kQuiet, "v.rom", "4000:0", encoder, quiet.report());
    const auto size = static_cast<std::uint16_t>(module.size());
    for (const std::uint16_t room : {size, static_cast<std::uint16_t>(size + 1)}) {
        ImageBuilder b = image_of(0x80000);
        b.put_text(0x7D000, "*BT-VGA*").put_u16(0x7D008, 0xC000).put_u16(0x7D00A, 0xC000 + room);
        Session s(b.fill(0x7C000, 0x1000, 0).bytes);
        const bool fits = room > size;
        EXPECT_TRUE(s.run("/btvga", "v.rom", rom)
                        .out.ends_with(fits ? "Adding v.rom into BootBlock ..... Success\n"
                                            : kNoSpace + "\n!!! Combine  have some error.\n"));
        EXPECT_EQ(s.image(0x7C000, 0x7C001 + size), fits ? cat(module, {0xFF}) : Bytes(size + 1, 0));
    }
}

TEST(OnBoardVga, RefusalsChangeNothingAndErrSeesThem) {
    ImageBuilder area = image_of(0x80000), late = area, backwards = area;
    const ImageBuilder none = area;
    area.put_text(0x7DBF0, "BtBkVgaRom");
    late.put_text(0x7E000, "BtBkVgaRom");
    backwards.put_text(0x7D000, "*BT-VGA*").put_u16(0x7D008, 0xC010).put_u16(0x7D00A, 0xC000);
    Bytes cut = vga_rom(1);
    cut[2] = 4;
    const struct {
        const ImageBuilder& image;
        Bytes file;
        std::string out;
    } cases[] = {
        {area, {0x55, 0xAB, 1}, "The ROM Not VGA BIOS\n"},
        {area, {0x55, 0xAA, 0}, "v.rom gives a ROM length of 0" + kUnmodified},
        {area, cut, "v.rom is 512 bytes long, shorter than the ROM length 2048 it gives" + kUnmodified},
        {late, vga_rom(1),
         "The \"BtBkVgaRom\" line of bios.bin lies past window offset 1E000h, where its area ends" +
             kUnmodified},
        {backwards, vga_rom(1),
         "The \"*BT-VGA*\" line of bios.bin gives an area end (C000h) below its start (C010h)" + kUnmodified},
        {none, vga_rom(1), ""},  // no area: nothing to say, but the item failed
    };
    for (const auto& c : cases) {
        Session s(c.image.bytes);
        const testing::Outcome o = s.run("/btvga", "v.rom", c.file);
        EXPECT_EQ(o.out, kBanner + c.out + "\n!!! Combine  have some error.\n");
        EXPECT_EQ(o.status, 37);
        EXPECT_EQ(s.image(0, 0x80000), c.image.bytes);
    }
}

ImageBuilder& put_pmu(ImageBuilder& b, std::uint64_t line, std::uint16_t segment, std::uint16_t offset) {
    return b.put_text(line, "*NVDPMU*")
        .put_u16(line + 8, 1)
        .put_u16(line + 10, segment)
        .put_u16(line + 12, offset);
}

TEST(NvidiaAreas, MemoryModuleFillsWithZeroAndPmuGoesToItsRealModeAddress) {
    ImageBuilder b = image_of(0x40000);
    b.put_text(0x3D000, "*NVDAMM*")
        .put_u16(0x3D008, 0xC000)
        .put_u16(0x3D00A, 0xC300)
        .fill(0x3C000, 0x400, 0x77);
    put_pmu(b, 0x3D100, 0xF000, 0x0100);  // (F000h - C000h) x 16 + 100h on 256 KiB
    Session s(b.bytes);
    const Bytes whole = testing::pseudo_random_bytes(0x300, 1);
    EXPECT_EQ(s.run("/NVMM", "n.bin", whole).out,
              kBanner + "Adding n.bin into BootBlock .....(Start c000) Success\n");
    EXPECT_EQ(s.image(0x3C000, 0x3C301), cat(whole, {0x77}));
    s.run("/NVMM", "n.bin", Bytes(0x100, 9));
    EXPECT_EQ(s.image(0x3C000, 0x3C301), cat(cat(Bytes(0x100, 9), Bytes(0x200, 0)), {0x77}));
    EXPECT_TRUE(s.run("/NVMM", "n.bin", Bytes(0x301, 9)).out.starts_with(kBanner + kNoSpace));

    const Bytes pmu = testing::pseudo_random_bytes(0x400, 2);
    EXPECT_EQ(s.run("/NVPMU", "p.bin", pmu).out,
              kBanner + "Adding p.bin into BIOS .....(Start 30100) .....Success\n");
    EXPECT_EQ(s.image(0x30100, 0x30500), pmu);

    // On 2 MiB the image's end is still physical address 100000h.
    ImageBuilder large = image_of(0x200000);
    Session l(put_pmu(large, 0x1FD100, 0xF000, 0x0100).bytes);
    EXPECT_EQ(l.run("/NVPMU", "p.bin", Bytes(0x10, 7)).out,
              kBanner + "Adding p.bin into BIOS .....(Start 1f0100) .....Success\n");
    EXPECT_EQ(l.image(0x1F0100, 0x1F0111), cat(Bytes(0x10, 7), {0xFF}));

    // 0000:0000 lies before a 256 KiB image; it has no "*NVDAMM*" line either.
    ImageBuilder low = image_of(0x40000);
    Session o(put_pmu(low, 0x3D100, 0, 0).bytes);
    EXPECT_EQ(o.run("/NVPMU", "p.bin", pmu).status, 116);
    EXPECT_TRUE(o.run("/NVMM", "n.bin", whole)
                    .out.starts_with(kBanner + "bios.bin isn't nVidia chipset BIOS ROM.\n\n"));
    EXPECT_EQ(o.image(0, 0x40000), low.bytes);
}

std::string bootblock_lines(const Bytes& image) {
    testing::CapturedConsole c;
    image::Layout l;
    l.image_length = static_cast<std::uint32_t>(image.size());
    l.base_window = l.image_length - 0x20000;
    print_bootblock_lines(image, l, c.con);
    return c.out();
}

TEST(NvidiaAreas, ListingLinesReadOnlyWhatTheirRecordsHold) {
    ImageBuilder b = image_of(0x40000);
    b.put_text(0x3D000, "*NVDAMM*").put_u16(0x3D008, 0xC000).put_u16(0x3D00A, 0xC300);
    // Three texts at the first "NVMM", the last one cut by the end of the 52 bytes.
    b.put_text(0x3C010, "NVMM_A1").fill(0x3C017, 3, 0).put_text(0x3C01A, "VER 1.2").put_u8(0x3C021, 0);
    b.put_text(0x3C022, std::string(40, 'D'));
    put_pmu(b, 0x3D100, 0xF000, 0x0100)
        .put(0x30100, Bytes{0x4E, 0x56, 0, 0, 0x20})
        .put(0x3011A, Bytes{0x93, 7});
    const std::string memory = "\n *** NVMM_A1 VER 1.2 " + std::string(34, 'D') +
                               " * Start Offset => c000, End Offset => c300 ***\n";
    EXPECT_EQ(bootblock_lines(b.bytes), memory + " *** PMU Version => 9307 (2009/03 Build 07) ***\n");
    b.put_u8(0x30104, 5);  // a version pointer below 6 points before the ROM
    EXPECT_EQ(bootblock_lines(b.bytes), memory);
}

}  // namespace
}  // namespace kitra::regions
