// A plain "-lh5-" decoder to hold the fast one against: the stream read one
// bit at a time through a 16-bit bit window, codes decoded bit by bit from
// their canonical form (no lookup tables), and the output passed through an
// 8 KiB ring window that starts as zeros, byte by byte. It refuses the same
// malformed streams with "Bad table" (a Fatal) and supplies zero bits past
// the end of the data.
#pragma once

#include <cstddef>

#include "base/bytes.h"

namespace kitra::codec::test {

base::Bytes reference_decode_lh5(base::ByteView data, std::size_t original_size);

}  // namespace kitra::codec::test
