#include "convert/firmware_bitmap.h"

namespace kitra::convert {

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
