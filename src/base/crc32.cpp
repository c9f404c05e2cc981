#include "base/crc32.h"

#include <array>

namespace kitra::base {

namespace {

// Slicing by eight, as the module CRC does: table k gives the CRC of a byte
// followed by k zero bytes, so eight bytes fold in with independent lookups.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables make_tables() {
    Tables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i;
        for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
        t[0][i] = r;
    }
    for (unsigned k = 1; k < 8; ++k)
        for (unsigned i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}

constexpr Tables kTables = make_tables();

}  // namespace

std::uint32_t crc32(ByteView data, std::uint32_t crc) {
    const std::uint8_t* p = data.data();
    std::size_t n = data.size();
    const auto& t = kTables;
    std::uint32_t c = ~crc;
    for (; n >= 8; n -= 8, p += 8) {
        const std::uint32_t lo = (std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                                  std::uint32_t{p[3]} << 24) ^
                                 c;
        const std::uint32_t hi = std::uint32_t{p[4]} | std::uint32_t{p[5]} << 8 | std::uint32_t{p[6]} << 16 |
                                 std::uint32_t{p[7]} << 24;
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    for (; n > 0; --n) c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    return ~c;
}

}  // namespace kitra::base
