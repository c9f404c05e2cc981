#include "convert/firmware_bitmap.h"

namespace kitra::convert {

std::optional<Signature> firmware_bitmap_signature(base::ByteView contents) {
    if (base::matches(contents, 0, fwbmp::kTrueColourMark)) return std::nullopt;
    const auto width = base::try_read_u16(contents, fwbmp::kWidth);
    const auto height = base::try_read_u16(contents, fwbmp::kHeight);
    if (!width || !height || *width == 0 || *height == 0) return std::nullopt;
    struct Rows {
        std::uint64_t length;
        std::uint32_t colours;
    };
    const Rows layouts[] = {
        {rounded_row_length(*width, 256), 256}, {*width, 256}, {rounded_row_length(*width, 16), 16}};
    for (const Rows& r : layouts) {
        const std::uint64_t end = fwbmp::kRows + r.length * *height;
        const std::uint64_t trailer =
            fwbmp::kTrailerMark.size() + std::uint64_t{r.colours} * fwbmp::kPaletteEntry;
        if (base::in_range(contents, end, trailer) &&
            base::matches_ignore_case(contents, end, fwbmp::kTrailerMark))
            return Signature{contents[0], contents[1], contents[2], contents[3]};
    }
    return std::nullopt;
}

void to_bit_planes(base::ByteView indices, base::MutableByteView out) {
    const std::uint64_t groups = out.size() / 4;
    base::fill(out, 0, out.size(), 0);
    for (std::uint64_t x = 0; x < indices.size() && x < groups * 8; ++x) {
        const std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (x % 8));
        for (std::uint64_t k = 0; k < 4; ++k)
            if ((indices[x] >> k) & 1) out[k * groups + x / 8] |= bit;
    }
}

base::Bytes from_bit_planes(base::ByteView planes, std::uint32_t width) {
    const std::uint64_t groups = planes.size() / 4;
    base::Bytes indices(width, 0);
    for (std::uint64_t x = 0; x < width && x < groups * 8; ++x) {
        const unsigned shift = 7 - static_cast<unsigned>(x % 8);
        for (std::uint64_t k = 0; k < 4; ++k)
            indices[x] |= static_cast<std::uint8_t>(((planes[k * groups + x / 8] >> shift) & 1) << k);
    }
    return indices;
}

}  // namespace kitra::convert
