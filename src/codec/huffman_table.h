// Decoding tables for the Huffman codes of a "-lh5-" block. The codes are
// canonical: a block sends only the code length of every symbol. The next
// `table_bits` stream bits index a lookup table whose entry names the symbol
// and its length; codes longer than that continue in a small binary tree
// hanging from the entry, one stream bit per level.
//
// A set of lengths that is not exactly a complete prefix code stops the run
// with "Bad table": over-full sets would make the table overflow, and sets
// with gaps would leave entries that decode to nothing.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "codec/bit_reader.h"

namespace kitra::codec {

struct HuffmanTable {
    // Entries hold a symbol or tree node in the low 10 bits and, for symbols
    // whose code fits the index, the code length above them.
    static constexpr std::uint16_t kValueMask = 0x3FF;
    static constexpr unsigned kLengthShift = 10;
    // No symbol: an empty code, or a single symbol outside the alphabet.
    // Decoding it stops with "Bad table".
    static constexpr std::uint16_t kNone = 0x3FF;
    static constexpr unsigned kMaxSymbols = 510;

    unsigned symbols = 0;
    unsigned table_bits = 0;
    std::array<std::uint16_t, 1u << 12> entries{};
    // Tree nodes are numbered from `symbols` upwards, as many as there are
    // symbols at most.
    std::array<std::uint16_t, 2 * kMaxSymbols> left{};
    std::array<std::uint16_t, 2 * kMaxSymbols> right{};
    std::array<std::uint8_t, kMaxSymbols> lengths{};
};

// Builds the table for `lengths` (one per symbol, 0 = unused, at most 16) with
// an index of `table_bits` bits (8 or 12). An all-zero set gives a table that
// stops with "Bad table" when it is used (a block may send an empty code it
// never needs). Without `short_entries` the entries of the codes that fit the
// index are left as they were, for a caller that makes its own table of them
// (the long codes' trees and their roots are built all the same).
void build_table(HuffmanTable& table, std::span<const std::uint8_t> lengths, unsigned table_bits,
                 bool short_entries = true);

// The table of a code with one symbol: it costs no bits. A symbol outside the
// alphabet gives a table that stops with "Bad table" when it is used.
void set_single_symbol(HuffmanTable& table, unsigned symbols, unsigned symbol, unsigned table_bits);

// Stops the run with "Bad table": the stream's codes are malformed.
[[noreturn]] void bad_table();

// Walks the tree for a code longer than the table index (or stops with "Bad
// table" for an entry without a symbol); needs at least 16 ready bits.
inline unsigned decode_long_symbol(const HuffmanTable& t, BitReader& in, unsigned node) {
    if (node == HuffmanTable::kNone) bad_table();
    const std::uint32_t window = in.peek(16);
    unsigned v = node;
    for (int bit = 15 - static_cast<int>(t.table_bits); v >= t.symbols; --bit) {
        if (bit < 0 || v == HuffmanTable::kNone) bad_table();
        v = (window >> bit) & 1 ? t.right[v] : t.left[v];
    }
    in.skip(t.lengths[v]);
    return v;
}

// Decodes one symbol; needs at least 16 ready bits in `in`.
inline unsigned decode_symbol(const HuffmanTable& table, BitReader& in) {
    const unsigned e = table.entries[in.peek(table.table_bits)];
    const unsigned v = e & HuffmanTable::kValueMask;
    if (v < table.symbols) {
        in.skip(e >> HuffmanTable::kLengthShift);
        return v;
    }
    return decode_long_symbol(table, in, v);
}

}  // namespace kitra::codec
