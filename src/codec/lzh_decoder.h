// The "-lh5-" decoder. The stream is a sequence of blocks; each opens with its
// symbol count and three canonical Huffman codes (the code that sends the
// literal/length code lengths, the literal/length code, the position code),
// then that many symbols: literal bytes, or match lengths followed by a
// distance. The 8 KiB window is the output buffer itself: every call but the
// last fills all 8192 bytes, so window index and output position coincide and
// the previous call's bytes are the history that distances reach back into.
// A match that does not fit the call is finished at the start of the next.
//
// Malformed streams (lengths that do not form a complete code, counts past an
// alphabet, runs past the end of a length list) stop with "Bad table".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/bytes.h"
#include "codec/bit_reader.h"
#include "codec/huffman_table.h"
#include "codec/lh5_format.h"

namespace kitra::codec {

using Window = std::array<std::uint8_t, kWindowSize>;

class Lh5Decoder {
  public:
    // Starts decoding `data`, the module's packed bytes (zero bits follow them).
    explicit Lh5Decoder(base::ByteView data) : in_(data) {}

    // Fills window[0 .. count-1] (1 <= count <= 8192) with the next bytes.
    // Every call but the last must ask for 8192 bytes, with the same window.
    void decode(Window& window, std::size_t count);

  private:
    void read_block_header();
    void read_small_lengths(HuffmanTable& table, unsigned symbols, unsigned count_bits,
                            unsigned zero_run_after);
    void read_literal_lengths();

    BitReader in_;
    HuffmanTable literal_;
    HuffmanTable length_code_;
    HuffmanTable position_;
    std::uint16_t block_remaining_ = 0;  // a block of count 0 holds 65536 symbols
    unsigned match_remaining_ = 0;       // of a match cut at the end of a call
    unsigned match_source_ = 0;
};

// Decodes `original_size` bytes from `data` (the reader supplies zero bits
// past its end).
base::Bytes decode_lh5(base::ByteView data, std::size_t original_size);

}  // namespace kitra::codec
