#include "support/crafted_images.h"

#include "codec/lzh_encoder.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "inspect/option_rom_info.h"
#include "support/byte_literals.h"
#include "support/image_builder.h"
#include "support/sample_image.h"

namespace kitra::testing {

Bytes packed(const Bytes& data, const char* name, const char* type) {
    codec::Encoder encoder;
    return codec::pack(data, codec::PackMode::kQuiet, name, type, encoder, {});
}

// A stored module whose header bytes are then changed as `patch` says, the
// header sum made right again (or not, with `keep_sum`).
Bytes patched(Bytes module, std::uint64_t at, const Bytes& bytes, bool keep_sum) {
    const std::uint8_t sum = module[1];
    base::copy_into(module, at, bytes);
    codec::update_header_sum(module);
    if (keep_sum) module[1] = sum;
    return module;
}

// An expansion ROM of a legacy image (not the last) and an EFI image.
namespace {

Bytes two_image_rom() {
    Bytes legacy = sample_rom(0x10DE, 0x0A20, 0x030000, 0x0102, 2, 21);
    legacy[0x40 + inspect::pcir::kIndicator] = 0;
    legacy.back() = 0;
    legacy.back() = static_cast<std::uint8_t>(0x100 - base::sum8(legacy));
    Bytes efi = sample_rom(0x10DE, 0x0A20, 0x030000, 0x0102, 1, 22);
    efi[0x40 + inspect::pcir::kCodeType] = 3;
    return legacy + efi;
}

}  // namespace

// 256 KiB: system BIOS, an ISA ROM placed at segment C800, a logo that may
// carry a position; the bootblock's VGA ROM area with a two-image ROM, the
// nVidia areas, an arena, a hole directory with a ROM in hole 0 and a record
// larger than hole 1, and a Boot On Internet block.
Bytes bootblock_areas_image() {
    ImageBuilder b(0x40000);
    b.put(0, stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    std::uint64_t at = 0x10000;
    const Bytes isa = stored_module("isa.rom", "40A0:0", sample_rom(0, 0, 0, 0, 2, 23));
    at = b.put_module(at, patched(isa, codec::field::kTypeSuffix, {0x00, 0xC8}, true));
    b.put_module(at, packed(sample_bitmap("OSB1", 16, 8, 24), "osb.bmp", "404E:0"));
    b.put_bootblock_record(0x2D000, 0x0000, 0xE000, 0x0000, 0xF000, 0x02);
    b.put_bs1_record(0x2A100, 0, 0);
    b.put_text(0x2A200, "$BOI").put(0x2A204, bytes({1,   192, 168, 0,  1, 10, 0,    0,   20, 255,
                                                    255, 255, 0,   10, 0, 0,  254,  8,   8,  8,
                                                    8,   0,   0,   0,  0, 0,  0x80, 0x80}));
    b.put_text(0x2C000, "*HOLE*").put_u16(0x2C006, 3).put_u16(0x2C008, 0x2B);
    const std::uint16_t entries[] = {0x90, 0x24, 1, 0x91, 0x25, 2, 0xFFFF};
    for (std::size_t i = 0; i < std::size(entries); ++i) b.put_u16(0x2C00A + 2 * i, entries[i]);
    b.fill(0x2B000, 64, 0).put_u16(0x2B000, 0x90).put_u32(0x2B002, 0x400).put_text(0x2B006, "hole0.rom");
    b.put_u16(0x2B020, 0x91).put_u32(0x2B022, 0x3000).put_text(0x2B026, "big.bin").put_u16(0x2B040, 0xFFFF);
    b.put(0x24000, sample_rom(0x1234, 0x0001, 0x018000, 0x0007, 2, 25));
    b.put_text(0x3D000, "*NVDAMM*").put_u16(0x3D008, 0xC000).put_u16(0x3D00A, 0xC100);
    b.fill(0x3C000, 0x100, 0)
        .put_text(0x3C010, "NVMM 1.2")
        .put_text(0x3C01A, "Board X")
        .put_text(0x3C025, "Rev 7");
    b.put_text(0x3D100, "*NVDPMU*").put_u16(0x3D108, 1).put_u16(0x3D10A, 0xF000).put_u16(0x3D10C, 0x0100);
    b.put(0x30100, bytes({0x12, 0x34, 0, 0, 0x20})).put_u8(0x3011A, 0x13).put_u8(0x3011B, 0x07);
    b.put_text(0x3D200, "BTKITRAARENA").put_u16(0x3D20C, 0x400);
    b.put(0x3D210, stored_module("mem.bin", "3010:0", Bytes(0x40, 0x22)));
    b.put_text(0x3D800, "BtBkVgaRom").put(0x3D810, two_image_rom());
    return b.bytes;
}

// 256 KiB without a bootblock record, its chain from offset 0 (the first
// module is no system BIOS) and its system BIOS in the base window: a module
// of an unknown method, one whose CRC does not hold, one whose stream is
// malformed, and one whose name is not plain text.
Bytes odd_modules_image() {
    ImageBuilder b(0x40000);
    const Bytes oem1 = stored_module("oem1.bin", "4013:0", Bytes(0x40, 0x33));
    Bytes broken = packed(code_like(0x800, 26), "oem2.bin", "4014:0");
    base::fill(broken, broken[0] + 2u, 4, 0xFF);
    std::uint64_t at = 0;
    at = b.put_module(
        at, patched(stored_module("odd.bin", "4012:0", "odd"), codec::field::kMethod + 3, text("6")));
    at = b.put_module(at, patched(oem1, oem1[0] - 3u, {0x34, 0x12}));
    at = b.put_module(at, broken);
    b.put_module(at, stored_module("na\"m\xE9.bin", "8000:5", "x"));
    b.put(0x20000, stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    return b.bytes;
}

Bytes executable_of(const Bytes& body) {
    Bytes exe(32, 0);
    exe[0] = 'M', exe[1] = 'Z';
    exe[8] = 2;
    exe.insert(exe.end(), body.begin(), body.end());
    return exe;
}

}  // namespace kitra::testing
