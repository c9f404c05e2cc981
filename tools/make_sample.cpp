// Writes the bundled sample: a 256 KiB system BIOS image ("sample.bin") with
// a system BIOS module, modules of several kinds, a "*BBSS*" bootblock record,
// a "*BS1" record with a non-compressed microcode area and a top hole, a
// bootblock VGA module, a bootblock arena and a checksum block; and a small
// PCI VGA option ROM ("sample_vga.rom") to add to it.
//
//   make_sample [DIRECTORY [SIZE_IN_KIB]]      (default: the current directory, 256 KiB)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "codec/lzh_encoder.h"
#include "codec/packer.h"
#include "platform/console.h"
#include "platform/files.h"
#include "support/image_builder.h"

namespace {

using kitra::base::Bytes;
using kitra::testing::code_like;
using kitra::testing::ImageBuilder;
using kitra::testing::option_rom;
using kitra::testing::pseudo_random_bytes;

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? std::string(argv[1]) + "/" : "";
    const std::uint32_t size =
        argc > 2 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 0)) * 1024 : 256 * 1024;
    if (size < 256 * 1024 || size % 0x10000 != 0) {
        std::fprintf(stderr, "make_sample: the size must be a multiple of 64 KiB, at least 256 KiB\n");
        return 2;
    }
    kitra::codec::Encoder encoder;
    auto pack = [&](const Bytes& data, const char* name, const char* type) {
        return kitra::codec::pack(data, kitra::codec::PackMode::kQuiet, name, type, encoder, {});
    };

    // Everything the bootblock owns lies in the last 128 KiB, the base
    // window; the compressed area runs from the start of the image up to it.
    const std::uint32_t base = size - 0x20000;
    ImageBuilder b(size);
    // The system BIOS module at the start; the other modules follow 64 KiB on.
    b.put(0, pack(code_like(0xE000, 1), "sysbios.bin", "5000:0"));
    std::uint64_t at = 0x10000;
    at = b.put_module(at, pack(option_rom(0x1000, 0x0072, 24, 2), "raid.rom", "4087:0"));
    at = b.put_module(at, pack(option_rom(0x8086, 0x100E, 16, 3), "e1000.rom", "4086:0"));
    at = b.put_module(at, pack(code_like(0x3000, 4), "oemlogo.bmp", "4000:0"));
    at = b.put_module(at, pack(code_like(0x2000, 5), "cpucode.bin", "4001:0"));
    at = b.put_module(at, pack(code_like(0x1800, 6), "acpitbl.bin", "4003:0"));
    at = b.put_module(at, pack(code_like(0x1000, 7), "group5.bin", "402E:0"));
    b.put_module(at, pack(code_like(0x0800, 8), "oem0.bin", "4012:0"));

    // A top hole (0x1000 bytes) and the microcode area (0x800 bytes) at the
    // top of the compressed area, each closed by its trailer.
    b.put(base - 0x5000, pseudo_random_bytes(0x1000, 9))
        .put_trailer(base - 0x4000, "$TopHole", 0x1000, "TOP_HOLE.BIN");
    b.put(base - 0x3000, pseudo_random_bytes(0x800, 10))
        .put_trailer(base - 0x2800, "*ALIN16*", 0x800, "NCPUCODE.BIN");
    b.put_bs1_record(base + 0xA100, base - 0x3000 - size, 0x10);

    // The bootblock record: compressed area up to the base window, checksum
    // block at base + 0xE000 (it sums everything from the system BIOS up to
    // its own last two bytes), image checksum word and its erased 1 KiB
    // balance area above it at base + 0xF000.
    b.put_bootblock_record(base + 0xD000, 0x0000, 0xE000, 0x0000, 0xF000, 0x02);

    // A bootblock VGA module in the last 64 KiB, found through "*BT-VGA*".
    b.put_text(base + 0x400, "*BT-VGA*").put_u16(base + 0x408, 0x8000).put_u16(base + 0x40A, 0x9000);
    b.put(base + 0x410, Bytes{0x55, 0xAA, 0x00, 0x00});
    b.put(size - 0x8000, pack(option_rom(0x1002, 0x5159, 8, 11), "btvga.rom", "4000:0"));

    // The bootblock arena with a memory-sizing module.
    b.put_text(base + 0x1000, "BTKITRAARENA").put_u16(base + 0x100C, 0x1000);
    b.put(base + 0x1010, kitra::testing::stored_module("memsize.bin", "3010:0", code_like(0x400, 12)));

    const bool ok = kitra::platform::write_file(dir + "sample.bin", b.bytes) &&
                    kitra::platform::write_file(dir + "sample_vga.rom", option_rom(0x1234, 0x5678, 12, 13));
    if (!ok) {
        std::fprintf(stderr, "make_sample: cannot write the sample files\n");
        return 1;
    }
    std::printf("Wrote %ssample.bin and %ssample_vga.rom\n", dir.c_str(), dir.c_str());
    return 0;
}
