#include "codec/huffman_table.h"

#include <algorithm>

#include "base/fatal.h"
#include "codec/lh5_format.h"

namespace kitra::codec {

void bad_table() {
    throw Fatal("Bad table\n", 1);
}

void build_table(HuffmanTable& t, std::span<const std::uint8_t> lengths, unsigned table_bits,
                 bool short_entries) {
    const unsigned symbols = static_cast<unsigned>(lengths.size());
    if (symbols > HuffmanTable::kMaxSymbols || table_bits > 12) bad_table();
    t.symbols = symbols;
    t.table_bits = table_bits;
    const unsigned table_size = 1u << table_bits;

    std::array<std::uint32_t, kMaxCodeLength + 2> count{};
    for (unsigned s = 0; s < symbols; ++s) {
        if (lengths[s] > kMaxCodeLength) bad_table();
        t.lengths[s] = lengths[s];
        if (lengths[s] != 0) ++count[lengths[s]];
    }
    // Canonical codes as 16-bit left-aligned values: shorter codes first,
    // symbols of one length in symbol order. The sum must be exactly 2^16.
    std::array<std::uint32_t, kMaxCodeLength + 2> start{};
    for (unsigned k = 1; k <= kMaxCodeLength; ++k) start[k + 1] = start[k] + (count[k] << (16 - k));
    if (start[kMaxCodeLength + 1] == 0) {
        std::fill_n(t.entries.begin(), table_size, HuffmanTable::kNone);
        return;
    }
    if (start[kMaxCodeLength + 1] != 0x10000) bad_table();

    // The short codes fill the front of the table (the code is complete);
    // the entries behind them are the roots of the long codes' trees.
    const unsigned short_end = start[table_bits + 1] >> (16 - table_bits);
    std::fill(t.entries.begin() + short_end, t.entries.begin() + table_size, HuffmanTable::kNone);
    unsigned next_node = symbols;
    for (unsigned s = 0; s < symbols; ++s) {
        const unsigned len = lengths[s];
        if (len == 0) continue;
        const std::uint32_t code = start[len];
        start[len] += 1u << (16 - len);
        if (len <= table_bits) {
            if (!short_entries) continue;
            const unsigned first = code >> (16 - table_bits);
            const auto entry = static_cast<std::uint16_t>(s | (len << HuffmanTable::kLengthShift));
            std::fill_n(t.entries.begin() + first, 1u << (table_bits - len), entry);
            continue;
        }
        std::uint16_t* slot = &t.entries[code >> (16 - table_bits)];
        for (int bit = 15 - static_cast<int>(table_bits); bit >= 16 - static_cast<int>(len); --bit) {
            if (*slot == HuffmanTable::kNone) {
                // The code is complete, so there are fewer nodes than symbols.
                if (next_node >= symbols * 2 - 1) bad_table();
                t.left[next_node] = t.right[next_node] = HuffmanTable::kNone;
                *slot = static_cast<std::uint16_t>(next_node++);
            } else if (*slot < symbols) {
                bad_table();  // a shorter code is a prefix of this one
            }
            slot = (code >> bit) & 1 ? &t.right[*slot] : &t.left[*slot];
        }
        if (*slot != HuffmanTable::kNone) bad_table();
        *slot = static_cast<std::uint16_t>(s);
    }
}

void set_single_symbol(HuffmanTable& t, unsigned symbols, unsigned symbol, unsigned table_bits) {
    t.symbols = symbols;
    t.table_bits = table_bits;
    std::fill_n(t.lengths.begin(), symbols, std::uint8_t{0});
    const std::uint16_t entry = symbol < symbols ? static_cast<std::uint16_t>(symbol) : HuffmanTable::kNone;
    std::fill_n(t.entries.begin(), 1u << table_bits, entry);
}

}  // namespace kitra::codec
