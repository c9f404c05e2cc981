// The bit reader of the "-lh5-" decoder: the stream's bits, most significant
// first, from a byte view. Once the view is used up it supplies zero bits, so a
// module whose data was cut short still decodes to its original size (garbage
// in the missing part) instead of failing; the format has no end marker and
// the caller counts output bytes, not input bytes.
//
// The bits sit left-aligned in a 64-bit word; refill() tops it up to at least
// 56 bits so that a length with its position code and extra bits (at most
// 16 + 16 + 12) can be taken without another refill.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/bytes.h"

namespace kitra::codec {

class BitReader {
  public:
    explicit BitReader(base::ByteView data) : next_(data.data()), end_(data.data() + data.size()) {
        refill();
    }

    // At least 56 bits ready afterwards.
    void refill() {
        if (count_ > 56) return;
        if (end_ - next_ >= 8)
            refill_word();
        else
            refill_slow();
    }

    // How many refill_word() calls in a row stay inside the data (each takes
    // at most 7 bytes, and a word load needs 8).
    std::size_t words_left() const {
        const auto left = static_cast<std::size_t>(end_ - next_);
        return left >= 8 ? (left - 8) / 7 + 1 : 0;
    }
    // refill() without a test, while words_left() allows: at least 56 bits
    // ready afterwards. The bits a word load adds below the counted ones are
    // the stream's own next bits, so a later load ORs in the same values;
    // when 56 bits or more are counted already, it adds nothing that counts.
    void refill_word() {
        std::uint64_t w;
        std::memcpy(&w, next_, sizeof w);
        if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
        bits_ |= w >> count_;
        next_ += (63 - count_) >> 3;
        count_ |= 56;
    }

    // The next n bits (1 <= n <= 32) without taking them; needs n ready bits.
    std::uint32_t peek(unsigned n) const { return static_cast<std::uint32_t>(bits_ >> (64 - n)); }
    // The same for 0 <= n <= 32: 0 for n = 0.
    std::uint32_t peek_upto(unsigned n) const { return static_cast<std::uint32_t>((bits_ >> 1) >> (63 - n)); }
    // Takes n ready bits (0 <= n <= 32).
    void skip(unsigned n) {
        bits_ <<= n;
        count_ -= n;
    }
    // Takes and returns the next n bits (0 <= n <= 24), refilling first.
    std::uint32_t read(unsigned n) {
        refill();
        if (n == 0) return 0;
        const std::uint32_t v = peek(n);
        skip(n);
        return v;
    }

  private:
    // Near the end of the data: byte by byte, zeros past the end.
    void refill_slow() {
        while (count_ <= 56) {
            const std::uint64_t byte = next_ < end_ ? *next_++ : 0;
            bits_ |= byte << (56 - count_);
            count_ += 8;
        }
    }

    const std::uint8_t* next_;
    const std::uint8_t* end_;
    std::uint64_t bits_ = 0;
    unsigned count_ = 0;  // bits of bits_ that are counted, from the top
};

}  // namespace kitra::codec
