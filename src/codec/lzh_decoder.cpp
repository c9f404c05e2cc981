#include "codec/lzh_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>

#include "codec/bit_reader.h"
#include "codec/huffman_table.h"
#include "codec/lh5_format.h"
#include "platform/memory.h"

namespace kitra::codec {

namespace {

// Matches are copied 16 bytes at a time and may write up to 15 bytes past
// their end; the output buffer has this much room behind the contents.
constexpr std::size_t kSlack = 32;

// The literal/length code is decoded through a 4096-entry table of 32-bit
// entries indexed by the next 12 stream bits. Literals are most of the
// symbols, so an entry whose 12 bits hold two whole literal codes gives both
// at once.
//   bit 31      literal: bits 8-15 the byte, bits 24-27 its code length
//   bit 30      with a second literal in bits 16-23
//   bit 29      match: bits 8-16 its length (3 .. 256)
//   bit 28      a code longer than 12 bits: bits 8-17 the tree node
//   bits 0-7    the bits the whole entry takes
//   0           no symbol: "Bad table" when used
constexpr std::uint32_t kLiteral = 1u << 31;
constexpr std::uint32_t kPair = 1u << 30;
constexpr std::uint32_t kMatch = 1u << 29;
constexpr std::uint32_t kLong = 1u << 28;

// The position code's entries, indexed by the next 8 bits, give the distance
// in one step: bits 0-7 the code length, 8-15 the number of extra bits, 16-31
// the distance without them. 0: a code longer than 8 bits, or none.
struct Tables {
    HuffmanTable literal;  // the code itself, and the trees of its long codes
    std::array<std::uint32_t, 1u << kLiteralTableBits> fast{};
    HuffmanTable length_code;
    HuffmanTable position;
    std::array<std::uint32_t, 1u << kSmallTableBits> position_fast{};
};

// Position symbol j: distance values with j significant bits, the top one
// implied; the distance is the value plus one.
constexpr unsigned position_extra_bits(unsigned j) {
    return j <= 1 ? 0 : j - 1;
}
constexpr unsigned position_base(unsigned j) {
    return (j <= 1 ? j : 1u << (j - 1)) + 1;
}

void build_position_fast_table(Tables& t) {
    const HuffmanTable& h = t.position;
    for (unsigned i = 0; i < t.position_fast.size(); ++i) {
        const unsigned e = h.entries[i];
        const unsigned j = e & HuffmanTable::kValueMask;
        t.position_fast[i] = j < h.symbols ? e >> HuffmanTable::kLengthShift | position_extra_bits(j) << 8 |
                                                 position_base(j) << 16
                                           : 0;
    }
}

// Fills n entries (a power of two), eight at a time where it can: most codes
// of a block cover 4 to 64 entries, too few for a call to pay.
inline void fill_entries(std::uint32_t* p, unsigned n, std::uint32_t v) {
    if (n >= 8) {
        for (unsigned i = 0; i < n; i += 8)
            for (unsigned k = 0; k < 8; ++k) p[i + k] = v;
    } else {
        for (unsigned i = 0; i < n; ++i) p[i] = v;
    }
}

// The fast entries of a code sent with its lengths: one entry per range of
// a code that fits the index, made from the lengths as canonical codes run
// (shorter codes first, symbols of one length in order); behind them the
// roots of the long codes' trees, from the 16-bit table; then the pairs.
void build_fast_table(Tables& t, std::span<const std::uint8_t> lengths) {
    const HuffmanTable& h = t.literal;
    constexpr unsigned kSize = 1u << kLiteralTableBits;
    std::array<unsigned, kMaxCodeLength + 1> count{};
    for (const std::uint8_t len : lengths) ++count[len];
    // The first index of each length's codes, and the index units the codes
    // of each length up to 12 cover.
    std::array<unsigned, kLiteralTableBits + 2> next{};
    std::array<unsigned, kLiteralTableBits + 1> units{};
    for (unsigned len = 1; len <= kLiteralTableBits; ++len) {
        units[len] = count[len] * (kSize >> len);
        next[len + 1] = next[len] + units[len];
    }
    for (unsigned s = 0; s < lengths.size(); ++s) {
        const unsigned len = lengths[s];
        if (len == 0 || len > kLiteralTableBits) continue;
        const unsigned span = kSize >> len;
        const std::uint32_t entry =
            s < 256 ? kLiteral | len << 24 | s << 8 | len : kMatch | (s - kLengthSymbolBase) << 8 | len;
        fill_entries(&t.fast[next[len]], span, entry);
        next[len] += span;
    }
    for (unsigned i = next[kLiteralTableBits + 1]; i < kSize; ++i)
        t.fast[i] = kLong | static_cast<std::uint32_t>(h.entries[i] & HuffmanTable::kValueMask) << 8;
    for (unsigned len = 1; len <= kLiteralTableBits; ++len) units[len] += units[len - 1];
    // Pairs: after a literal of length l1, the codes of at most 12 - l1 bits
    // are the first ones (canonical codes run from short to long), and each
    // of them that is a literal makes a pair. Entries already made pairs keep
    // their first literal, which is all that is read of them here.
    for (unsigned i = 0; i < kSize;) {
        const std::uint32_t e = t.fast[i];
        if (!(e & kLiteral)) {
            i += e & kMatch ? kSize >> (e & 0xFF) : 1;
            continue;
        }
        const unsigned l1 = e & 0xFF;
        const unsigned short_codes = units[kLiteralTableBits - l1] >> l1;
        for (unsigned j = 0; j < short_codes; ++j) {
            const std::uint32_t e2 = t.fast[j << l1];
            if (e2 & kLiteral)
                t.fast[i + j] = (e & 0xFF00FF00u) | kPair | (e2 & 0xFF00u) << 8 | (l1 + ((e2 >> 24) & 0xF));
        }
        i += kSize >> l1;
    }
}

// A single-symbol code costs no bits: every entry is that symbol, a literal
// twice over.
void set_single_fast_entry(Tables& t, unsigned symbol) {
    std::uint32_t entry = 0;
    if (symbol < 256)
        entry = kLiteral | kPair | symbol << 16 | symbol << 8;
    else if (symbol < kLiteralSymbols)
        entry = kMatch | (symbol - kLengthSymbolBase) << 8;
    t.fast.fill(entry);
}

// Small-table lengths: 3 bits each, 7 standing for "7 or more" with one extra
// 1 bit per further step and a closing 0.
void read_small_lengths(BitReader& in, HuffmanTable& table, unsigned symbols, unsigned count_bits,
                        unsigned zero_run_after) {
    const unsigned n = in.read(count_bits);
    if (n == 0) {
        set_single_symbol(table, symbols, in.read(count_bits), kSmallTableBits);
        return;
    }
    if (n > symbols) bad_table();
    std::array<std::uint8_t, kLengthCodeSymbols> lengths{};
    unsigned i = 0;
    while (i < n) {
        in.refill();
        unsigned len = in.peek(3);
        if (len == 7) {
            const std::uint32_t window = in.peek(16);
            for (std::uint32_t mask = 1u << 12; mask != 0 && (window & mask); mask >>= 1) ++len;
            if (len > kMaxCodeLength) bad_table();
        }
        in.skip(len < 7 ? 3 : len - 3);
        lengths[i++] = static_cast<std::uint8_t>(len);
        if (i == zero_run_after) {
            const unsigned zeros = in.read(2);
            if (i + zeros > symbols) bad_table();
            i += zeros;  // the entries are already 0
        }
    }
    build_table(table, std::span<const std::uint8_t>(lengths.data(), symbols), kSmallTableBits);
}

// Literal/length lengths, sent with the length code: symbols 0-2 are runs of
// zero lengths (1, 3-18 with 4 more bits, 20-531 with 9 more bits), symbol
// k >= 3 a length of k - 2.
void read_literal_lengths(BitReader& in, Tables& t) {
    const unsigned n = in.read(kLiteralCountBits);
    if (n == 0) {
        const unsigned symbol = in.read(kLiteralCountBits);
        set_single_symbol(t.literal, kLiteralSymbols, symbol, kLiteralTableBits);
        set_single_fast_entry(t, symbol);
        return;
    }
    if (n > kLiteralSymbols) bad_table();
    std::array<std::uint8_t, kLiteralSymbols> lengths{};
    unsigned i = 0;
    while (i < n) {
        in.refill();
        const unsigned c = decode_symbol(t.length_code, in);
        if (c >= 3) {
            lengths[i++] = static_cast<std::uint8_t>(c - 2);
            continue;
        }
        const unsigned zeros = c == 0 ? 1 : c == 1 ? in.read(4) + 3 : in.read(kLiteralCountBits) + 20;
        if (i + zeros > kLiteralSymbols) bad_table();
        i += zeros;
    }
    build_table(t.literal, lengths, kLiteralTableBits, false);
    build_fast_table(t, lengths);
}

// Reads a block header; returns the block's symbol count (a count of 0 is
// 65536: the field is 16 bits wide).
unsigned read_block_header(BitReader& in, Tables& t) {
    const unsigned count = in.read(16);
    read_small_lengths(in, t.length_code, kLengthCodeSymbols, kLengthCodeCountBits, kLengthCodeZeroRunAfter);
    read_literal_lengths(in, t);
    read_small_lengths(in, t.position, kPositionSymbols, kPositionCountBits, 0);
    build_position_fast_table(t);
    return count == 0 ? 0x10000 : count;
}

// A literal/length code longer than the table index, or no symbol.
inline unsigned long_symbol(const HuffmanTable& h, BitReader& in, std::uint32_t e) {
    if (!(e & kLong)) bad_table();
    return decode_long_symbol(h, in, (e >> 8) & HuffmanTable::kValueMask);
}

// The distance, 1 .. 8192: the position symbol and its extra bits.
inline unsigned distance(const Tables& t, BitReader& in) {
    std::uint32_t e = t.position_fast[in.peek(kSmallTableBits)];
    if (e == 0) {
        const unsigned j = decode_symbol(t.position, in);
        e = position_extra_bits(j) << 8 | position_base(j) << 16;
    }
    in.skip(e & 0xFF);
    const unsigned extra = (e >> 8) & 0xFF;
    const unsigned d = (e >> 16) + in.peek_upto(extra);
    in.skip(extra);
    return d;
}

// Copies a match that reaches before the first output byte: the ring the
// format was made for held zeros there.
inline void copy_from_start(const std::uint8_t* begin, std::uint8_t* o, unsigned dist, std::size_t n) {
    const auto at = static_cast<std::ptrdiff_t>(o - begin) - static_cast<std::ptrdiff_t>(dist);
    for (std::size_t k = 0; k < n; ++k) {
        const std::ptrdiff_t from = at + static_cast<std::ptrdiff_t>(k);
        o[k] = from >= 0 ? begin[from] : 0;
    }
}

// Copies a whole match that lies inside the output; up to 15 bytes past its
// end may be written. Source and destination may overlap (a distance shorter
// than the length repeats the bytes just written): the word copies keep a
// whole word between them.
inline void copy_match(std::uint8_t* o, unsigned dist, unsigned length) {
    std::uint8_t* const stop = o + length;
    const std::uint8_t* s = o - dist;
    if (dist >= 16) {
        do {
            std::memcpy(o, s, 16);
            o += 16;
            s += 16;
        } while (o < stop);
    } else if (dist >= 8) {
        do {
            std::memcpy(o, s, 8);
            o += 8;
            s += 8;
        } while (o < stop);
    } else if (dist == 1) {
        std::memset(o, *s, length);
    } else {
        for (unsigned k = 0; k < length; ++k) o[k] = s[k];
    }
}

}  // namespace

base::Bytes decode_lh5(base::ByteView data, std::size_t original_size) {
    base::Bytes out;
    platform::resize_large(out, original_size + kSlack);
    const auto tables = std::make_unique<Tables>();
    Tables& t = *tables;
    std::uint8_t* const begin = out.data();
    std::uint8_t* const end = begin + original_size;
    BitReader in(data);
    std::uint8_t* o = begin;
    unsigned block_left = 0;
    const auto put_literals = [&](std::uint32_t e) {
        // Both bytes are stored; a single literal's second is overwritten.
        const auto two = static_cast<std::uint16_t>(e >> 8);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(o, &two, 2);
        } else {
            o[0] = static_cast<std::uint8_t>(two);
            o[1] = static_cast<std::uint8_t>(two >> 8);
        }
        const unsigned n = (e >> 30) - 1;  // literal and pair bits: 1 or 2
        o += n;
        block_left -= n;
        in.skip(e & 0xFF);
    };
    const auto put_match = [&](unsigned length) {
        const unsigned dist = distance(t, in);
        if (dist > static_cast<std::size_t>(o - begin))
            copy_from_start(begin, o, dist, length);
        else
            copy_match(o, dist, length);
        o += length;
    };
    for (;;) {
        // Rounds of the fast loop, each of which takes at most four symbols
        // (two table entries: two pairs of literals, or a pair and a match),
        // writes at most 258 bytes and loads at most two words of the data;
        // that many rounds need no bounds checks.
        const std::size_t words = in.words_left();
        const std::size_t rounds =
            std::min({std::size_t{block_left / 4}, static_cast<std::size_t>(end - o) / (kMaxMatch + 2),
                      words == 0 ? 0 : (words - 1) / 2});
        if (rounds != 0) {
            // Each entry is looked up before the refill that follows it: its
            // 12 bits are ready, a refill only adds bits behind them, and so
            // the lookup need not wait for the refill.
            in.refill_word();
            std::uint32_t e = t.fast[in.peek(kLiteralTableBits)];
            for (std::size_t k = rounds; k != 0; --k) {
                // A refill gives at least 56 bits: enough for two literal
                // entries (12 bits each) and the next lookup, or one and then
                // a length (16), its position code (16) and extra bits (12),
                // or a long literal code (16).
                in.refill_word();
                if (e & kLiteral) {
                    put_literals(e);
                    e = t.fast[in.peek(kLiteralTableBits)];
                    if (e & kLiteral) {
                        put_literals(e);
                        e = t.fast[in.peek(kLiteralTableBits)];
                        continue;
                    }
                }
                --block_left;
                if (e & kMatch) {
                    in.skip(e & 0xFF);
                    put_match((e >> 8) & 0x1FF);
                } else {
                    const unsigned c = long_symbol(t.literal, in, e);
                    if (c < 256)
                        *o++ = static_cast<std::uint8_t>(c);
                    else
                        put_match(c - kLengthSymbolBase);
                }
                in.refill_word();
                e = t.fast[in.peek(kLiteralTableBits)];
            }
            continue;
        }
        if (o == end) break;
        if (block_left == 0) {
            // The header is read through a copy of the reader: the reader
            // itself never has its address taken, so it stays in registers
            // in the loops instead of being reloaded after every byte stored.
            BitReader header_in = in;
            block_left = read_block_header(header_in, t);
            in = header_in;
            continue;
        }
        // Near the end of the output, of a block or of the data: one symbol,
        // and a match cut at the end of the output.
        in.refill();
        const std::uint32_t e = t.fast[in.peek(kLiteralTableBits)];
        --block_left;
        unsigned c;
        if (e & kLiteral) {
            in.skip((e >> 24) & 0xF);
            c = (e >> 8) & 0xFF;
        } else if (e & kMatch) {
            in.skip(e & 0xFF);
            c = ((e >> 8) & 0x1FF) + kLengthSymbolBase;
        } else {
            c = long_symbol(t.literal, in, e);
        }
        if (c < 256) {
            *o++ = static_cast<std::uint8_t>(c);
            continue;
        }
        const unsigned dist = distance(t, in);
        const std::size_t n = std::min<std::size_t>(c - kLengthSymbolBase, static_cast<std::size_t>(end - o));
        if (dist > static_cast<std::size_t>(o - begin)) {
            copy_from_start(begin, o, dist, n);
        } else {
            const std::uint8_t* const s = o - dist;
            for (std::size_t k = 0; k < n; ++k) o[k] = s[k];
        }
        o += n;
    }
    out.resize(original_size);
    return out;
}

}  // namespace kitra::codec
