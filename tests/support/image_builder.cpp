#include "support/image_builder.h"

#include "codec/crc16.h"
#include "codec/module_header.h"
#include "image/records.h"

namespace kitra::testing {

Bytes stored_module(std::string_view name, std::string_view type_id_text, ByteView contents) {
    codec::HeaderFields f;
    f.name = std::string(name);
    f.stored = true;
    f.packed_size = static_cast<std::uint32_t>(contents.size());
    f.original_size = f.packed_size;
    f.type = codec::parse_type_id_text(type_id_text);
    f.crc = codec::crc16(contents);
    Bytes module = codec::build_header(f);
    module.insert(module.end(), contents.begin(), contents.end());
    module.push_back(0x00);
    return module;
}

Bytes stored_module(std::string_view name, std::string_view type_id_text, std::string_view contents) {
    return stored_module(name, type_id_text, base::view_of(contents));
}

Bytes pseudo_random_bytes(std::size_t size, std::uint32_t seed) {
    Bytes out(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return out;
}

Bytes code_like(std::size_t size, std::uint32_t seed) {
    const Bytes noise = pseudo_random_bytes(size, seed);
    static const std::uint8_t kPatterns[][4] = {{0x66, 0x8B, 0x46, 0x00},
                                                {0xE8, 0x00, 0x00, 0x90},
                                                {0x0F, 0xB6, 0xC0, 0xC3},
                                                {0xB8, 0x00, 0x10, 0x50}};
    Bytes out(size);
    for (std::size_t i = 0; i < size; i += 4)
        for (std::size_t k = 0; k < 4 && i + k < size; ++k)
            out[i + k] = (noise[i] & 3) == 0 ? noise[i + k] : kPatterns[noise[i] % 4][k];
    return out;
}

Bytes option_rom(std::uint16_t vendor, std::uint16_t device, std::size_t blocks, std::uint32_t seed) {
    Bytes rom = code_like(blocks * 512, seed);
    rom[0] = 0x55;
    rom[1] = 0xAA;
    rom[2] = static_cast<std::uint8_t>(blocks);
    base::write_u16(rom, 0x18, 0x40);
    const std::uint8_t pcir[] = {'P', 'C', 'I', 'R', 0, 0, 0, 0, 0, 0, 0x18, 0, 0, 0, 0x00, 0x03};
    std::copy(std::begin(pcir), std::end(pcir), rom.begin() + 0x40);
    base::write_u16(rom, 0x44, vendor);
    base::write_u16(rom, 0x46, device);
    rom.back() = 0;
    rom.back() = static_cast<std::uint8_t>(0x100 - base::sum8(rom));
    return rom;
}

ImageBuilder& ImageBuilder::put(std::uint64_t offset, ByteView data) {
    base::copy_into(bytes, offset, data);
    return *this;
}
ImageBuilder& ImageBuilder::put_text(std::uint64_t offset, std::string_view text) {
    return put(offset, base::view_of(text));
}
ImageBuilder& ImageBuilder::put_u8(std::uint64_t offset, std::uint8_t value) {
    base::write_u8(bytes, offset, value);
    return *this;
}
ImageBuilder& ImageBuilder::put_u16(std::uint64_t offset, std::uint16_t value) {
    base::write_u16(bytes, offset, value);
    return *this;
}
ImageBuilder& ImageBuilder::put_u32(std::uint64_t offset, std::uint32_t value) {
    base::write_u32(bytes, offset, value);
    return *this;
}
ImageBuilder& ImageBuilder::fill(std::uint64_t offset, std::uint64_t length, std::uint8_t value) {
    base::fill(bytes, offset, length, value);
    return *this;
}

std::uint64_t ImageBuilder::put_module(std::uint64_t offset, ByteView module) {
    put(offset, module);
    const std::uint32_t packed = base::read_u32(module, codec::field::kPackedSize);
    return offset + module[0] + packed + 3;
}

ImageBuilder& ImageBuilder::put_bootblock_record(std::uint64_t offset, std::uint16_t w6, std::uint16_t w8,
                                                 std::uint16_t w12, std::uint16_t w18,
                                                 std::uint8_t flag_byte) {
    namespace bbss = image::bbss;
    if (offset >= bbss::kFlagByteBefore) put_u8(offset - bbss::kFlagByteBefore, flag_byte);
    put_text(offset, bbss::kMarker);
    put_u16(offset + bbss::kRegionWord, w6);
    put_u16(offset + bbss::kLayoutWord, w8);
    put_u16(offset + bbss::kLimitWord, w12);
    put_u16(offset + bbss::kImageChecksumWord, w18);
    return *this;
}

ImageBuilder& ImageBuilder::put_bs1_record(std::uint64_t offset, std::uint32_t address, std::uint8_t flags) {
    put_text(offset, image::bs1::kMarker);
    put_u32(offset + image::bs1::kMicrocodeAddress, address);
    put_u8(offset + image::bs1::kFlags, flags);
    return *this;
}

ImageBuilder& ImageBuilder::put_trailer(std::uint64_t offset, std::string_view marker, std::uint32_t size,
                                        std::string_view name) {
    namespace trailer = image::trailer;
    fill(offset, trailer::kSize, 0);
    put_text(offset + trailer::kMarker, marker);
    put_u32(offset + trailer::kDataSize, size);
    put_text(offset + trailer::kName, name.substr(0, trailer::kNameLength));
    return *this;
}

}  // namespace kitra::testing
