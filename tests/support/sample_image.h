// The bundled sample: the image tools/make_sample writes ("sample.bin"),
// and the PCI VGA option ROM to add to it ("sample_vga.rom"). Tests build it
// here too, so that its inventory, verification and listing can be compared
// with the documents kept beside them.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/bytes.h"

namespace kitra::testing {

struct Sample {
    base::Bytes image;
    base::Bytes vga_rom;
};

// A finished image of `size` bytes (a multiple of 64 KiB, at least 256 KiB):
// a system BIOS module, option ROMs with their PCI data structures (one with
// a PnP header), a logo bitmap, a CPU microcode module with two Intel updates, an
// ACPI table, a group and an OEM module; a "*BBSS*" bootblock record, a
// "*BS1" record with a non-compressed microcode area and a top hole, a
// bootblock VGA module, a bootblock arena with a memory-sizing module and a
// checksum block, all made right by finishing.
Sample make_sample(std::uint32_t size = 256 * 1024);

// A PCI option ROM of `blocks` x 512 bytes as a build leaves it: 55 AA and
// its size byte, a whole PCI data structure (class, revision, x86 code,
// last image) and, with `pnp`, a PnP expansion header naming its maker and
// product; its 8-bit sum is 0.
base::Bytes sample_rom(std::uint16_t vendor, std::uint16_t device, std::uint32_t class_code,
                       std::uint16_t revision, std::size_t blocks, std::uint32_t seed, bool pnp = false);

// A firmware bitmap of `width` x `height` pixels in 256 colours (rows of
// whole groups of 8), opening with `signature`.
base::Bytes sample_bitmap(std::string_view signature, std::uint16_t width, std::uint16_t height,
                          std::uint32_t seed);

// A 2048-byte Intel microcode update for `signature` whose words sum to 0.
base::Bytes sample_microcode_update(std::uint32_t signature, std::uint32_t revision, std::uint32_t date,
                                    std::uint8_t processor_flags, std::uint32_t seed);

}  // namespace kitra::testing
