#include "codec/crc16.h"

#include <array>
#include <bit>
#include <cstring>

namespace kitra::codec {

namespace {

// Slicing by eight: table k gives the CRC of a byte followed by k zero bytes,
// so eight bytes are folded in with eight independent lookups instead of a
// chain of eight.
using Tables = std::array<std::array<std::uint16_t, 256>, 8>;

constexpr Tables make_tables() {
    Tables t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = i;
        for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0xA001 : r >> 1;
        t[0][i] = static_cast<std::uint16_t>(r);
    }
    for (unsigned k = 1; k < 8; ++k)
        for (unsigned i = 0; i < 256; ++i)
            t[k][i] = static_cast<std::uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
    return t;
}

constexpr Tables kTables = make_tables();

}  // namespace

std::uint16_t crc16(base::ByteView data, std::uint16_t crc) {
    const std::uint8_t* p = data.data();
    std::size_t n = data.size();
    const auto& t = kTables;
    for (; n >= 8; n -= 8, p += 8) {
        // The eight bytes in stream order, the CRC folded into the first two.
        const std::uint64_t x =
            (std::uint64_t{p[0]} | std::uint64_t{p[1]} << 8 | std::uint64_t{p[2]} << 16 |
             std::uint64_t{p[3]} << 24 | std::uint64_t{p[4]} << 32 | std::uint64_t{p[5]} << 40 |
             std::uint64_t{p[6]} << 48 | std::uint64_t{p[7]} << 56) ^
            crc;
        crc = static_cast<std::uint16_t>(t[7][x & 0xFF] ^ t[6][(x >> 8) & 0xFF] ^ t[5][(x >> 16) & 0xFF] ^
                                         t[4][(x >> 24) & 0xFF] ^ t[3][(x >> 32) & 0xFF] ^
                                         t[2][(x >> 40) & 0xFF] ^ t[1][(x >> 48) & 0xFF] ^ t[0][x >> 56]);
    }
    for (; n > 0; --n) crc = static_cast<std::uint16_t>(t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8));
    return crc;
}

}  // namespace kitra::codec
