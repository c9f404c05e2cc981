#include "support/bmp_writer.h"

#include <cstdlib>

namespace kitra::testing {

base::Bytes write_bmp(const Picture& picture) {
    const std::uint32_t w = static_cast<std::uint32_t>(picture.width);
    const std::uint32_t rows = static_cast<std::uint32_t>(std::abs(picture.height));
    const std::uint32_t stride = (w * picture.bits + 31) / 32 * 4;
    const std::uint32_t palette_start = 14 + picture.header_size;
    const std::uint32_t pixel_offset = palette_start + static_cast<std::uint32_t>(picture.palette.size()) * 4;
    base::Bytes b(pixel_offset + stride * rows, 0);
    b[0] = 'B';
    b[1] = 'M';
    base::write_u32(b, 2, static_cast<std::uint32_t>(b.size()));
    base::write_u32(b, 10, pixel_offset);
    base::write_u32(b, 14, picture.header_size);
    base::write_u32(b, 18, w);
    base::write_u32(b, 22, static_cast<std::uint32_t>(picture.height));
    base::write_u16(b, 26, 1);
    base::write_u16(b, 28, picture.bits);
    base::write_u32(b, 30, picture.compression);
    base::write_u32(b, 34, stride * rows);
    base::write_u32(b, 38, 2835);
    base::write_u32(b, 42, 2835);
    base::write_u32(b, 46, static_cast<std::uint32_t>(picture.palette.size()));
    if (picture.header_size >= 108) base::write_u32(b, 14 + 56, 0x73524742);  // colour space "sRGB"
    if (picture.header_size >= 124) base::write_u32(b, 14 + 108, 4);          // intent: pictures
    for (std::size_t i = 0; i < picture.palette.size(); ++i)
        base::write_u32(b, palette_start + i * 4, picture.palette[i]);

    for (std::uint32_t y = 0; y < rows; ++y) {
        // Stored bottom row first unless the height says top-down.
        const std::uint32_t stored = picture.height < 0 ? y : rows - 1 - y;
        const std::uint64_t at = pixel_offset + std::uint64_t{stored} * stride;
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint32_t v = picture.pixels.at(std::size_t{y} * w + x);
            switch (picture.bits) {
                case 4:
                    b[at + x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? v << 4 : v);
                    break;
                case 8:
                    b[at + x] = static_cast<std::uint8_t>(v);
                    break;
                default:
                    for (unsigned k = 0; k < picture.bits / 8u; ++k)
                        b[at + std::uint64_t{x} * (picture.bits / 8u) + k] =
                            static_cast<std::uint8_t>(k < 3 ? v >> (8 * k) : 0xFF);
            }
        }
    }
    return b;
}

}  // namespace kitra::testing
