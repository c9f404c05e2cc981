#include "support/sample_image.h"

#include "cli/run_state.h"
#include "codec/lzh_encoder.h"
#include "codec/packer.h"
#include "convert/firmware_bitmap.h"
#include "convert/microcode_update.h"
#include "image/layout.h"
#include "inspect/option_rom_info.h"
#include "regions/finishing.h"
#include "support/byte_literals.h"
#include "support/image_builder.h"

namespace kitra::testing {

Bytes sample_rom(std::uint16_t vendor, std::uint16_t device, std::uint32_t class_code, std::uint16_t revision,
                 std::size_t blocks, std::uint32_t seed, bool pnp) {
    namespace pcir = inspect::pcir;
    namespace pnp_header = inspect::pnp;
    Bytes rom = option_rom(vendor, device, blocks, seed);
    // option_rom puts the data structure at 0x40.
    constexpr std::uint64_t kPcir = 0x40;
    base::write_u16(rom, kPcir + pcir::kLength, pcir::kSize);
    rom[kPcir + pcir::kStructureRevision] = 0;
    rom[kPcir + pcir::kClassCode] = static_cast<std::uint8_t>(class_code);
    rom[kPcir + pcir::kClassCode + 1] = static_cast<std::uint8_t>(class_code >> 8);
    rom[kPcir + pcir::kClassCode + 2] = static_cast<std::uint8_t>(class_code >> 16);
    base::write_u16(rom, kPcir + pcir::kImageLength, static_cast<std::uint16_t>(blocks));
    base::write_u16(rom, kPcir + pcir::kRevision, revision);
    rom[kPcir + pcir::kCodeType] = pcir::kCodeTypeX86;
    rom[kPcir + pcir::kIndicator] = pcir::kLastImageBit;
    if (pnp) {
        constexpr std::uint64_t kHeader = 0x60;
        constexpr std::uint64_t kMaker = 0x80;
        constexpr std::uint64_t kProduct = 0xA0;
        base::fill(rom, kHeader, pnp_header::kSize, 0);
        base::copy_into(rom, kHeader, base::view_of(pnp_header::kSignature));
        rom[kHeader + pnp_header::kRevision] = 1;
        rom[kHeader + pnp_header::kLength] = pnp_header::kSize / 16;
        base::write_u32(rom, kHeader + pnp_header::kDeviceId, 0x0104D041);
        base::write_u16(rom, kHeader + pnp_header::kManufacturer, kMaker);
        base::write_u16(rom, kHeader + pnp_header::kProduct, kProduct);
        rom[kHeader + pnp_header::kChecksum] =
            static_cast<std::uint8_t>(0x100 - base::sum8(base::slice(ByteView(rom), kHeader, 32)));
        base::write_u16(rom, inspect::rom::kPnpPointer, kHeader);
        base::fill(rom, kMaker, 0x40, 0);
        base::copy_into(rom, kMaker, base::view_of("Sample Storage Inc."));
        base::copy_into(rom, kProduct, base::view_of("Sample RAID BIOS v1.2"));
    }
    rom.back() = 0;
    rom.back() = static_cast<std::uint8_t>(0x100 - base::sum8(rom));
    return rom;
}

Bytes sample_bitmap(std::string_view signature, std::uint16_t width, std::uint16_t height,
                    std::uint32_t seed) {
    namespace fwbmp = convert::fwbmp;
    const std::uint64_t row = convert::rounded_row_length(width, 256);
    Bytes b(fwbmp::kRows);
    base::copy_into(b, 0, base::view_of(signature.substr(0, 4)));
    base::write_u16(b, fwbmp::kWidth, width);
    base::write_u16(b, fwbmp::kHeight, height);
    b = b + code_like(row * height, seed) + text(fwbmp::kTrailerMark) +
        pseudo_random_bytes(256 * fwbmp::kPaletteEntry, seed);
    return b;
}

Bytes sample_microcode_update(std::uint32_t signature, std::uint32_t revision, std::uint32_t date,
                              std::uint8_t processor_flags, std::uint32_t seed) {
    namespace intel = convert::intel_update;
    constexpr std::uint32_t kDataSize = 2048 - 48;
    Bytes u = code_like(2048, seed);
    base::fill(u, 0, intel::kHeaderSize, 0);
    base::write_u32(u, intel::kHeaderVersion, 1);
    base::write_u32(u, intel::kRevision, revision);
    base::write_u32(u, intel::kDate, date);
    base::write_u32(u, intel::kSignature, signature);
    base::write_u32(u, intel::kLoaderRevision, 1);
    base::write_u32(u, intel::kProcessorFlags, processor_flags);
    base::write_u32(u, intel::kDataSize, kDataSize);
    base::write_u32(u, intel::kTotalSize, 2048);
    // The checksum word makes every word of the update sum to 0.
    std::uint32_t sum = 0;
    for (std::uint64_t at = 0; at < u.size(); at += 4) sum += base::read_u32(u, at);
    base::write_u32(u, intel::kChecksum, 0u - sum);
    return u;
}

Sample make_sample(std::uint32_t size) {
    codec::Encoder encoder;
    auto pack = [&](const Bytes& data, const char* name, const char* type) {
        return codec::pack(data, codec::PackMode::kQuiet, name, type, encoder, {});
    };

    // Everything the bootblock owns lies in the last 128 KiB, the base
    // window; the compressed area runs from the start of the image up to it.
    const std::uint32_t base = size - 0x20000;
    ImageBuilder b(size);
    // The system BIOS module at the start; the other modules follow 64 KiB on.
    b.put(0, pack(code_like(0xE000, 1), "sysbios.bin", "5000:0"));
    std::uint64_t at = 0x10000;
    at = b.put_module(at,
                      pack(sample_rom(0x1000, 0x0072, 0x010400, 0x0120, 24, 2, true), "raid.rom", "4087:0"));
    at = b.put_module(at, pack(sample_rom(0x8086, 0x100E, 0x020000, 0x0304, 16, 3), "e1000.rom", "4086:0"));
    at = b.put_module(at, pack(sample_bitmap("MVBM", 96, 48, 4), "oemlogo.bmp", "4000:0"));
    const Bytes microcode = sample_microcode_update(0x000006F6, 0x4C, 0x08182008, 0x01, 5) +
                            sample_microcode_update(0x000006FB, 0xBA, 0x10032010, 0x10, 6);
    at = b.put_module(at, pack(microcode, "cpucode.bin", "4001:0"));
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
    b.put(size - 0x8000, pack(sample_rom(0x1002, 0x5159, 0x030000, 0x0001, 8, 11), "btvga.rom", "4000:0"));

    // The bootblock arena with a memory-sizing module.
    b.put_text(base + 0x1000, "BTKITRAARENA").put_u16(base + 0x100C, 0x1000);
    b.put(base + 0x1010, stored_module("memsize.bin", "3010:0", code_like(0x400, 12)));

    // Finished as a run that added the modules would leave it: checksum
    // block, balance word and byte balance.
    const auto layout = image::discover_layout(b.bytes, 0, false);
    platform::Console quiet;
    quiet.out = nullptr;
    quiet.err = nullptr;
    cli::Run run({}, image::Image("sample.bin", std::move(b.bytes)), std::get<image::Layout>(layout), quiet);
    run.component_mark = true;
    regions::finish_image(run);
    return {run.image.bytes(), sample_rom(0x1234, 0x5678, 0x030000, 0x0100, 12, 13)};
}

}  // namespace kitra::testing
