// The bit writer of the "-lh5-" encoder: values go out most significant bit
// first. It gives up as soon as the stream would not be smaller than the input
// read so far: a completed byte is kept only while the packed count is below
// `limit`; one that finds them equal is dropped and sets `unpackable`, and the
// packer then stores the file instead.
//
// Bits gather in a 64-bit accumulator and completed bytes are checked against
// the limit in flush(); the encoder flushes before the limit changes, so the
// outcome is that of checking every byte as it completes.
#pragma once

#include <cstdint>

#include "base/bytes.h"

namespace kitra::codec {

class BitWriter {
  public:
    explicit BitWriter(base::Bytes& out) : out_(out) {}

    // Writes the low n bits of x (0 <= n <= 16).
    void put(unsigned n, std::uint32_t x) {
        acc_ = (acc_ << n) | (x & ((1u << n) - 1));
        bits_ += n;
        if (bits_ >= 32) flush();
    }
    // Moves the completed bytes out (partial bits stay).
    void flush() {
        if (bits_ >= 32 && packed_ + 4 <= limit_) {
            // Four bytes that all fit under the limit: the common case.
            bits_ -= 32;
            const auto word = static_cast<std::uint32_t>(acc_ >> bits_);
            const std::uint8_t bytes[4] = {
                static_cast<std::uint8_t>(word >> 24), static_cast<std::uint8_t>(word >> 16),
                static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
            out_.insert(out_.end(), bytes, bytes + 4);
            packed_ += 4;
        }
        while (bits_ >= 8) {
            bits_ -= 8;
            const auto byte = static_cast<std::uint8_t>(acc_ >> bits_);
            if (packed_ < limit_) {
                out_.push_back(byte);
                ++packed_;
            } else {
                unpackable_ = true;
            }
        }
    }

    void set_limit(std::uint64_t limit) { limit_ = limit; }
    bool unpackable() const { return unpackable_; }
    std::uint64_t packed() const { return packed_; }

  private:
    base::Bytes& out_;
    std::uint64_t acc_ = 0;
    unsigned bits_ = 0;
    std::uint64_t packed_ = 0;
    std::uint64_t limit_ = 0;
    bool unpackable_ = false;
};

}  // namespace kitra::codec
