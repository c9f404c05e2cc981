#include "codec/lzh_decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/fatal.h"

namespace kitra::codec {

namespace {

[[noreturn]] void bad_table() {
    throw Fatal("Bad table\n", 1);
}

}  // namespace

// Small-table lengths: 3 bits each, 7 standing for "7 or more" with one extra
// 1 bit per further step and a closing 0.
void Lh5Decoder::read_small_lengths(HuffmanTable& table, unsigned symbols, unsigned count_bits,
                                    unsigned zero_run_after) {
    const unsigned n = in_.read(count_bits);
    if (n == 0) {
        set_single_symbol(table, symbols, in_.read(count_bits), kSmallTableBits);
        return;
    }
    if (n > symbols) bad_table();
    std::array<std::uint8_t, kLengthCodeSymbols> lengths{};
    unsigned i = 0;
    while (i < n) {
        in_.refill();
        unsigned len = in_.peek(3);
        if (len == 7) {
            const std::uint32_t window = in_.peek(16);
            for (std::uint32_t mask = 1u << 12; mask != 0 && (window & mask); mask >>= 1) ++len;
            if (len > kMaxCodeLength) bad_table();
        }
        in_.skip(len < 7 ? 3 : len - 3);
        lengths[i++] = static_cast<std::uint8_t>(len);
        if (i == zero_run_after) {
            const unsigned zeros = in_.read(2);
            if (i + zeros > symbols) bad_table();
            i += zeros;  // the entries are already 0
        }
    }
    build_table(table, std::span<const std::uint8_t>(lengths.data(), symbols), kSmallTableBits);
}

// Literal/length lengths, sent with the length code: symbols 0-2 are runs of
// zero lengths (1, 3-18 with 4 more bits, 20-531 with 9 more bits), symbol
// k >= 3 a length of k - 2.
void Lh5Decoder::read_literal_lengths() {
    const unsigned n = in_.read(kLiteralCountBits);
    if (n == 0) {
        set_single_symbol(literal_, kLiteralSymbols, in_.read(kLiteralCountBits), kLiteralTableBits);
        return;
    }
    if (n > kLiteralSymbols) bad_table();
    std::array<std::uint8_t, kLiteralSymbols> lengths{};
    unsigned i = 0;
    while (i < n) {
        in_.refill();
        const unsigned c = decode_symbol(length_code_, in_);
        if (c >= 3) {
            lengths[i++] = static_cast<std::uint8_t>(c - 2);
            continue;
        }
        const unsigned zeros = c == 0 ? 1 : c == 1 ? in_.read(4) + 3 : in_.read(kLiteralCountBits) + 20;
        if (i + zeros > kLiteralSymbols) bad_table();
        i += zeros;
    }
    build_table(literal_, lengths, kLiteralTableBits);
}

void Lh5Decoder::read_block_header() {
    block_remaining_ = static_cast<std::uint16_t>(in_.read(16));
    read_small_lengths(length_code_, kLengthCodeSymbols, kLengthCodeCountBits, kLengthCodeZeroRunAfter);
    read_literal_lengths();
    read_small_lengths(position_, kPositionSymbols, kPositionCountBits, 0);
}

// The distance value: position symbol j, then the low j - 1 bits of a value
// whose top bit is implied. Needs 16 + 12 ready bits.
namespace {

inline unsigned decode_distance(const HuffmanTable& position, BitReader& in) {
    const unsigned j = decode_symbol(position, in);
    if (j <= 1) return j;
    const unsigned extra = in.peek(j - 1);
    in.skip(j - 1);
    return (1u << (j - 1)) + extra;
}

}  // namespace

void Lh5Decoder::decode(Window& window, std::size_t count) {
    std::uint8_t* const w = window.data();
    std::size_t r = 0;
    while (match_remaining_ > 0) {
        w[r] = w[match_source_];
        match_source_ = (match_source_ + 1) & kWindowMask;
        --match_remaining_;
        if (++r == count) return;
    }
    // The reader works in a local copy: stores into the window could alias
    // its fields and would force them through memory on every byte.
    BitReader in = in_;
    struct WriteBack {
        BitReader& from;
        BitReader& to;
        ~WriteBack() { to = from; }
    } write_back{in, in_};
    for (;;) {
        if (block_remaining_ == 0) {
            in_ = in;
            read_block_header();
            in = in_;
        }
        --block_remaining_;
        in.refill();
        const unsigned c = decode_symbol(literal_, in);
        if (c < 256) {
            w[r] = static_cast<std::uint8_t>(c);
            if (++r == count) return;
            continue;
        }
        const unsigned length = c - kLengthSymbolBase;
        unsigned source = static_cast<unsigned>(r - decode_distance(position_, in) - 1) & kWindowMask;
        const std::size_t n = std::min<std::size_t>(length, count - r);
        if (source + n <= kWindowSize && (source >= r + n || source + n <= r)) {
            // Source and destination apart: a plain copy gives the same bytes.
            std::memcpy(w + r, w + source, n);
            r += n;
            source += static_cast<unsigned>(n);
        } else if (source + n <= kWindowSize && source > r) {
            // The source lies ahead (last call's bytes): a forward move.
            std::memmove(w + r, w + source, n);
            r += n;
            source += static_cast<unsigned>(n);
        } else {
            // Overlapping: byte by byte, so the bytes just written repeat.
            for (std::size_t k = 0; k < n; ++k) {
                w[r++] = w[source];
                source = (source + 1) & kWindowMask;
            }
        }
        if (r == count) {
            match_remaining_ = length - static_cast<unsigned>(n);
            match_source_ = source & kWindowMask;
            return;
        }
    }
}

base::Bytes decode_lh5(base::ByteView data, std::size_t original_size) {
    base::Bytes out;
    out.reserve(original_size);
    auto decoder = std::make_unique<Lh5Decoder>(data);
    auto window = std::make_unique<Window>();
    while (out.size() < original_size) {
        const std::size_t piece = std::min<std::size_t>(original_size - out.size(), kWindowSize);
        decoder->decode(*window, piece);
        out.insert(out.end(), window->begin(), window->begin() + static_cast<std::ptrdiff_t>(piece));
    }
    return out;
}

}  // namespace kitra::codec
