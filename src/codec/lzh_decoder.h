// The "-lh5-" decoder. The stream is a sequence of blocks; each opens with its
// symbol count and three canonical Huffman codes (the code that sends the
// literal/length code lengths, the literal/length code, the position code),
// then that many symbols: literal bytes, or match lengths followed by a
// distance of 1 .. 8192 bytes.
//
// The format was made for an 8 KiB ring window that the output passes
// through; a distance reaches back at most the window's size, so decoding
// straight into the whole output gives the same bytes. The one place where
// the two differ is a distance that reaches before the first byte: the ring
// still holds its initial zeros there, so those bytes decode as 0.
//
// Malformed streams (lengths that do not form a complete code, counts past an
// alphabet, runs past the end of a length list, a symbol from an empty code)
// stop with "Bad table". A stream cut short is not an error: zero bits follow
// its end, and the output is always `original_size` bytes.
#pragma once

#include <cstddef>

#include "base/bytes.h"

namespace kitra::codec {

// Decodes `original_size` bytes from `data`, the module's packed bytes.
base::Bytes decode_lh5(base::ByteView data, std::size_t original_size);

}  // namespace kitra::codec
