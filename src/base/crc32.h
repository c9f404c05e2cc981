// CRC-32 (reflected polynomial 0xEDB88320, initial value and final XOR
// 0xFFFFFFFF; check value 0xCBF43926 for "123456789"): the check word zip,
// PNG and flash programmers show for a file, so engineers compare whole
// images by it.
#pragma once

#include <cstdint>

#include "base/bytes.h"

namespace kitra::base {

// The CRC-32 of `data`, continuing `crc` (the CRC-32 of the bytes before it;
// 0 for none).
std::uint32_t crc32(ByteView data, std::uint32_t crc = 0);

}  // namespace kitra::base
