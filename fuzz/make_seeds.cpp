// Writes the seed inputs of the fuzz targets, made with the image builder of
// the tests: small images with the structures the targets walk (system BIOS
// module, module chain, bootblock record, "*BS1" record, microcode area, top
// hole, checksum block), and packed streams and modules for the decoder. A
// fuzzer that starts from them reaches those structures at once instead of
// having to find the markers byte by byte.
//
//   make_seeds DIRECTORY     (fuzz/corpus: one folder per target)
//
// The images are 128 KiB with their trailing 0xFF bytes cut: the targets
// fill an input up to 128 KiB with 0xFF, so the seed means the same image
// and stays small.
#include <cstdio>
#include <filesystem>
#include <string>

#include "codec/lzh_encoder.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "platform/files.h"
#include "support/byte_literals.h"
#include "support/image_builder.h"
#include "support/microcode_builder.h"
#include "support/sample_image.h"

namespace {

using kitra::base::Bytes;
using kitra::testing::code_like;
using kitra::testing::ImageBuilder;
using kitra::testing::option_rom;
using kitra::testing::pseudo_random_bytes;

kitra::codec::Encoder encoder;

Bytes pack(const Bytes& data, const char* name, const char* type) {
    return kitra::codec::pack(data, kitra::codec::PackMode::kQuiet, name, type, encoder, {});
}

// Text-like bytes: the packer's favourite input.
Bytes text_like(std::size_t size) {
    static const std::string kText = "the module header of the image is a table of the bios rom, ";
    Bytes b;
    for (std::size_t i = 0; b.size() < size; ++i)
        b.push_back(static_cast<std::uint8_t>(kText[i % kText.size()]));
    return b;
}

Bytes trimmed(Bytes image) {
    while (!image.empty() && image.back() == 0xFF) image.pop_back();
    return image;
}

// A 128 KiB image laid out like a small board's: the system BIOS at the
// start, modules from 64 KiB on, and in the upper 64 KiB the bootblock's
// records, with (`special_areas`) the top hole and the microcode area at the
// end of the compressed area and the balance area in use, or without them
// and with more modules.
Bytes board_image(bool special_areas) {
    ImageBuilder b(0x20000);
    b.put(0, pack(code_like(0x800, 1), "sysbios.bin", "5000:0"));
    std::uint64_t at = 0x10000;
    at = b.put_module(at, pack(option_rom(0x10DE, 0x1234, 2, 2), "vga.rom", "4080:0"));
    at = b.put_module(at, pack(text_like(0x600), "oem0.bin", "4012:0"));
    at = b.put_module(at, kitra::testing::stored_module("logo.bmp", "4000:0", pseudo_random_bytes(0x80, 3)));
    if (!special_areas) {
        at = b.put_module(at, pack(option_rom(0x8086, 0x100E, 1, 4), "lan.rom", "4086:0"));
        at = b.put_module(at, pack(option_rom(0x8086, 0x100E, 1, 5), "lan2.rom", "4087:0"));
        b.put_module(at, pack(code_like(0x300, 6), "group5.bin", "402E:0"));
    }
    // The compressed area ends at 0x1C000; below its end the top hole, then
    // the microcode area, each closed by its trailer.
    constexpr std::uint32_t kLimit = 0x1C000;
    if (special_areas) {
        b.put(kLimit - 0x600, pseudo_random_bytes(0x200, 4))
            .put_trailer(kLimit - 0x400, "$TopHole", 0x200, "TOP_HOLE.BIN");
        b.put(kLimit - 0x3E0, pseudo_random_bytes(0x100, 5))
            .put_trailer(kLimit - 0x2E0, "*ALIN16*", 0x100, "NCPUCODE.BIN");
        b.put_bs1_record(0x1D200, kLimit - 0x3E0 - 0x20000, 0x10);
    }
    b.put_bootblock_record(0x1D000, 0x0000, 0xF000, 0xC000, 0xE000, special_areas ? 0x02 : 0x00);
    return trimmed(b.bytes);
}

// CPU microcode for the microcode target: updates one after another (an old
// fixed-size one, one with an extended signature table, an AMD patch), the
// same as text, and a board whose three places hold updates, its module
// beginning with a table of pointers.
Bytes microcode_updates() {
    using kitra::testing::IntelUpdateFields;
    return kitra::testing::joined(
        {kitra::testing::intel_update({.cpuid = 0x686, .old_form = true}),
         kitra::testing::intel_update(
             {.cpuid = 0x6B1, .revision = 0x1D, .total_size = 3072, .extended = {{0x6B4, 0x20}}}),
         kitra::testing::amd_patch(0x48, 0x0F4A, 0x1022, 0x1106)});
}

Bytes microcode_board() {
    ImageBuilder b(0x20000);
    b.put(0, pack(code_like(0x800, 1), "sysbios.bin", "5000:0"));
    const Bytes updates = microcode_updates();
    Bytes module_contents(0x40, 0x00);
    module_contents.insert(module_contents.end(), updates.begin(), updates.end());
    b.put_module(0x10000, pack(module_contents, "CPUCODE.BIN", "4001:0"));
    constexpr std::uint32_t kLimit = 0x1C000;
    const Bytes area =
        kitra::testing::intel_update({.cpuid = 0xF29, .platform_mask = 0x04, .revision = 0x2E});
    b.put(kLimit - 0x820, area).put_trailer(kLimit - 0x20, "*ALIN16*", 0x800, "NCPUCODE.BIN");
    b.put_bs1_record(0x1D200, kLimit - 0x820 - 0x20000, 0x00);
    // The bootblock's microcode area at 0x1E000, from the record's word at +33.
    b.put_bootblock_record(0x1D000, 0x0000, 0xF000, 0xC000, 0xE000, 0x00).put_u16(0x1D000 + 33, 0xE000);
    b.put(0x1E000, kitra::testing::intel_update({.cpuid = 0x683, .revision = 0x10}));
    return trimmed(b.bytes);
}

// The board with special areas, and what the inventory reads besides: a hole
// directory whose hole 0 holds an option ROM, a Boot On Internet block, the
// nVidia areas, an arena with a module, and an on-board VGA ROM with a PnP
// header in the bootblock's VGA ROM area.
Bytes bootblock_areas_image() {
    ImageBuilder b(0x20000);
    const Bytes board = board_image(true);
    b.put(0, board);
    b.put_text(0xF000, "*HOLE*").put_u16(0xF006, 1).put_u16(0xF008, 0x9);
    b.put(0xF00A, kitra::testing::bytes({0x90, 0, 0x8, 0, 1, 0, 0xFF, 0xFF}));
    b.fill(0x9000, 32, 0).put_u16(0x9000, 0x90).put_u32(0x9002, 0x400).put_text(0x9006, "hole0.rom");
    b.put_u16(0x9020, 0xFFFF).put(0x8000, option_rom(0x1234, 0x0001, 2, 8));
    b.put_text(0xA100, "$BOI").put(0xA104, Bytes(28, 0x01));
    b.put_text(0x1D400, "*NVDAMM*").put_u16(0x1D408, 0xC000).put_u16(0x1D40A, 0xC100);
    b.fill(0x1C000, 0x40, 0).put_text(0x1C010, "NVMM 1.0").put_text(0x1C01A, "X");
    b.put_text(0x1D410, "*NVDPMU*").put_u16(0x1D418, 1).put_u16(0x1D41A, 0xF000).put_u16(0x1D41C, 0x0100);
    b.put_text(0x1D420, "BTKITRAARENA").put_u16(0x1D42C, 0x100);
    b.put(0x1D430, kitra::testing::stored_module("mem.bin", "3010:0", Bytes(0x20, 0x22)));
    b.put_text(0x1D600, "BtBkVgaRom")
        .put(0x1D610, kitra::testing::sample_rom(0x10DE, 0x0A20, 0x030000, 1, 2, 9, true));
    return trimmed(b.bytes);
}

// The decoder target's form of a raw stream: an even first byte, the
// original size, a byte that keeps it below 1 MiB, the packed size.
Bytes stream_seed(const Bytes& module) {
    const auto m = kitra::codec::module_at(module, 0);
    // original size (4), modulus byte (1), packed size (4)
    Bytes seed{0x00};
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) seed.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    put32(m->original_size);
    seed.push_back(19);
    put32(m->packed_size);
    const std::uint64_t data = m->header_size + 2u;
    seed.insert(seed.end(), module.begin() + static_cast<std::ptrdiff_t>(data),
                module.begin() + static_cast<std::ptrdiff_t>(data + m->packed_size));
    return seed;
}

// The decoder target's form of a whole module: an odd first byte.
Bytes module_seed(const Bytes& module) {
    Bytes seed{0x01};
    seed.insert(seed.end(), module.begin(), module.end());
    return seed;
}

bool write(const std::filesystem::path& dir, const std::string& name, const Bytes& bytes) {
    std::filesystem::create_directories(dir);
    return kitra::platform::write_file((dir / name).string(), bytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIRECTORY\n");
        return 2;
    }
    const std::filesystem::path out = argv[1];
    bool ok = true;
    for (const char* target : {"fuzz_inventory", "fuzz_folder"})
        ok = ok && write(out / target, "board-bootblock-areas.bin", bootblock_areas_image());
    for (const char* target : {"fuzz_layout", "fuzz_edit", "fuzz_inventory", "fuzz_folder"}) {
        ok = ok && write(out / target, "board-special-areas.bin", board_image(true));
        ok = ok && write(out / target, "board-modules.bin", board_image(false));
    }
    const Bytes code = pack(code_like(0x1800, 6), "code.bin", "4012:0");
    const Bytes text = pack(text_like(0x1000), "text.txt", "4013:0");
    const Bytes runs = pack(Bytes(0x2000, 0), "zero.bin", "4014:0");
    ok = ok && write(out / "fuzz_decoder", "stream-code.bin", stream_seed(code)) &&
         write(out / "fuzz_decoder", "stream-text.bin", stream_seed(text)) &&
         write(out / "fuzz_decoder", "stream-runs.bin", stream_seed(runs)) &&
         write(out / "fuzz_decoder", "module-code.bin", module_seed(code)) &&
         write(out / "fuzz_decoder", "module-stored.bin",
               module_seed(kitra::testing::stored_module("r.bin", "4015:0", pseudo_random_bytes(0x100, 7))));
    const Bytes updates = microcode_updates();
    const std::string dat =
        kitra::testing::dat_text(kitra::testing::intel_update({.cpuid = 0x686, .revision = 3}));
    ok = ok && write(out / "fuzz_microcode", "updates.bin", updates) &&
         write(out / "fuzz_microcode", "update.dat", Bytes(dat.begin(), dat.end())) &&
         write(out / "fuzz_microcode", "board-microcode.bin", microcode_board());
    if (!ok) {
        std::fprintf(stderr, "make_seeds: cannot write the seeds under %s\n", argv[1]);
        return 1;
    }
    return 0;
}
