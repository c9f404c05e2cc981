// Deterministic data for the benchmarks: firmware-like bytes (x86-like code,
// message text, 4-bit bitmaps with zero runs, in pieces of 16 to 80 KiB) and
// random bytes. The same bytes on every run and machine.
#pragma once

#include <cstddef>

#include "base/bytes.h"

namespace kitra::bench {

base::Bytes firmware_like(std::size_t size);
base::Bytes noise_bytes(std::size_t size);

}  // namespace kitra::bench
