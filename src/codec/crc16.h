// CRC-16 with the reflected polynomial 0xA001, initial value 0 and no final
// XOR (CRC-16/ARC, check value 0xBB3D for "123456789"): the check word an LZH
// header carries for the unpacked contents of its member.
#pragma once

#include <cstdint>

#include "base/bytes.h"

namespace kitra::codec {

// Continues `crc` over `data` (start with 0).
std::uint16_t crc16(base::ByteView data, std::uint16_t crc = 0);

}  // namespace kitra::codec
