#include "codec/crc16.h"

#include <array>

namespace kitra::codec {

namespace {

constexpr std::array<std::uint16_t, 256> make_table() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = i;
        for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0xA001 : r >> 1;
        table[i] = static_cast<std::uint16_t>(r);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kTable = make_table();

}  // namespace

std::uint16_t crc16(base::ByteView data, std::uint16_t crc) {
    for (std::uint8_t b : data) crc = static_cast<std::uint16_t>(kTable[(crc ^ b) & 0xFF] ^ (crc >> 8));
    return crc;
}

}  // namespace kitra::codec
