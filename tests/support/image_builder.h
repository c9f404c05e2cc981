// Builds ROM images for tests: an image of a given size filled with 0xFF, with
// modules, markers and records placed at the offsets a test names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/bytes.h"

namespace kitra::testing {

using base::Bytes;
using base::ByteView;

// A stored ("-lh0-") module: header, contents, separator byte 0x00.
Bytes stored_module(std::string_view name, std::string_view type_id_text, ByteView contents);
Bytes stored_module(std::string_view name, std::string_view type_id_text, std::string_view contents);

// Deterministic filler bytes (xorshift), for contents that must differ.
Bytes pseudo_random_bytes(std::size_t size, std::uint32_t seed);

// Code-like bytes: short repeated instruction patterns with varying operands.
Bytes code_like(std::size_t size, std::uint32_t seed);

// A PCI option ROM of `blocks` x 512 bytes: 55 AA, its length, the pointer
// at 0x18 to a "PCIR" structure with vendor, device and class code, and a
// last byte that makes its 8-bit sum 0.
Bytes option_rom(std::uint16_t vendor, std::uint16_t device, std::size_t blocks, std::uint32_t seed);

struct ImageBuilder {
    Bytes bytes;

    explicit ImageBuilder(std::size_t size, std::uint8_t fill = 0xFF) : bytes(size, fill) {}

    ImageBuilder& put(std::uint64_t offset, ByteView data);
    ImageBuilder& put_text(std::uint64_t offset, std::string_view text);
    ImageBuilder& put_u8(std::uint64_t offset, std::uint8_t value);
    ImageBuilder& put_u16(std::uint64_t offset, std::uint16_t value);
    ImageBuilder& put_u32(std::uint64_t offset, std::uint32_t value);
    ImageBuilder& fill(std::uint64_t offset, std::uint64_t length, std::uint8_t value);

    // Places a module and returns the offset of the next one (H + packed + 3).
    std::uint64_t put_module(std::uint64_t offset, ByteView module);

    // "*BBSS*" at `offset` with its words +6, +8, +12, +18 and the flag byte
    // 26 bytes before it.
    ImageBuilder& put_bootblock_record(std::uint64_t offset, std::uint16_t w6, std::uint16_t w8,
                                       std::uint16_t w12, std::uint16_t w18, std::uint8_t flag_byte = 0);
    // "*BS1" at `offset` with the microcode address at +11 and the flag byte at +15.
    ImageBuilder& put_bs1_record(std::uint64_t offset, std::uint32_t address, std::uint8_t flags = 0);
    // A 32-byte special-area trailer: marker, size, 0, 12-byte name, 0.
    ImageBuilder& put_trailer(std::uint64_t offset, std::string_view marker, std::uint32_t size,
                              std::string_view name);
};

}  // namespace kitra::testing
