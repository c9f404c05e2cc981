// Writes BMP files for tests, as picture editors do: the classic 40-byte
// info header or the V4 (108) and V5 (124) headers, the palette right after
// it, rows bottom-up (or top-down for a negative height) padded to 4 bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "base/bytes.h"

namespace kitra::testing {

struct Picture {
    std::int32_t width = 0;
    std::int32_t height = 0;  // negative: rows stored top-down
    std::uint16_t bits = 8;   // 4, 8, 24 or 32
    std::uint32_t header_size = 40;
    std::uint32_t compression = 0;
    // Entries as 0xXXRRGGBB: stored blue, green, red, then XX.
    std::vector<std::uint32_t> palette;
    // Top row first: palette indices, or 0xRRGGBB colours for 24 and 32 bits.
    std::vector<std::uint32_t> pixels;
};

base::Bytes write_bmp(const Picture& picture);

}  // namespace kitra::testing
