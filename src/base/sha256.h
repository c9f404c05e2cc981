// SHA-256: the digest build systems and release notes name an image by. The
// processor's SHA instructions do the rounds where it has them (a 16 MiB
// image takes about a tenth of the time plain code needs); both ways give
// the same digest.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/bytes.h"

namespace kitra::base {

using Sha256Digest = std::array<std::uint8_t, 32>;

// `cpu_instructions` false computes it with plain code only (the tests
// compare the two ways).
Sha256Digest sha256(ByteView data, bool cpu_instructions = true);

// The digest as 64 lower-case hexadecimal digits, the form sha256sum prints.
std::string sha256_text(const Sha256Digest& digest);

}  // namespace kitra::base
