// The bit reader of the "-lh5-" decoder: the stream's bits, most significant
// first, from a byte view. Once the view is used up it supplies zero bits, so a
// module whose data was cut short still decodes to its original size (garbage
// in the missing part) instead of failing; the format has no end marker and
// the caller counts output bytes, not input bytes.
//
// The bits sit left-aligned in a 64-bit word; refill() tops it up to at least
// 56 bits so that one symbol with its position code and extra bits (at most
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
    explicit BitReader(base::ByteView data) : data_(data.data()), size_(data.size()) { refill(); }

    // At least 56 bits ready afterwards.
    void refill() {
        if (count_ > 56) return;
        if (size_ - pos_ >= 8) {
            // Whole-word load: the bits it adds below the counted ones are the
            // stream's own next bits, so a later refill ORs in the same values.
            std::uint64_t w;
            std::memcpy(&w, data_ + pos_, sizeof w);
            if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
            bits_ |= w >> count_;
            pos_ += (63 - count_) >> 3;
            count_ |= 56;
        } else {
            refill_slow();
        }
    }

    // The next n bits (1 <= n <= 32) without taking them; needs n ready bits.
    std::uint32_t peek(unsigned n) const { return static_cast<std::uint32_t>(bits_ >> (64 - n)); }
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
    void refill_slow();

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::uint64_t bits_ = 0;
    unsigned count_ = 0;  // bits of bits_ that are counted, from the top
};

}  // namespace kitra::codec
