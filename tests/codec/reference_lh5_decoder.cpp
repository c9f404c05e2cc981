#include "codec/reference_lh5_decoder.h"

#include <array>
#include <cstdint>
#include <vector>

#include "base/fatal.h"

namespace kitra::codec::test {

namespace {

[[noreturn]] void bad_table() {
    throw Fatal("Bad table\n", 1);
}

// The next 16 bits of the stream, refilled byte by byte; zero bytes once the
// data is used up.
struct BitWindow {
    base::ByteView data;
    std::size_t next = 0;
    std::uint32_t window = 0;   // 16 bits
    std::uint32_t pending = 0;  // the byte being moved into the window
    unsigned pending_bits = 0;

    explicit BitWindow(base::ByteView d) : data(d) { advance(16); }

    void advance(unsigned n) {
        for (unsigned i = 0; i < n; ++i) {
            if (pending_bits == 0) {
                pending = next < data.size() ? data[next++] : 0;
                pending_bits = 8;
            }
            --pending_bits;
            window = ((window << 1) | ((pending >> pending_bits) & 1)) & 0xFFFF;
        }
    }
    unsigned read(unsigned n) {
        const unsigned v = n == 0 ? 0 : window >> (16 - n);
        advance(n);
        return v;
    }
};

// A canonical code: shortest codes first, symbols of one length in symbol
// order; decoded one bit at a time from the count of codes of each length.
struct Code {
    unsigned symbols = 0;
    bool single = false;
    unsigned single_symbol = 0;
    std::array<unsigned, 17> count{};  // codes of each length
    std::vector<unsigned> sorted;      // symbols by length, then by value

    void set_single(unsigned n, unsigned symbol) {
        symbols = n;
        single = true;
        single_symbol = symbol;
    }
    void set_lengths(const std::vector<unsigned>& lengths) {
        symbols = static_cast<unsigned>(lengths.size());
        single = false;
        count.fill(0);
        sorted.clear();
        std::uint64_t kraft = 0;
        for (unsigned len : lengths) {
            if (len > 16) bad_table();
            if (len != 0) kraft += std::uint64_t{1} << (16 - len);
            ++count[len];
        }
        if (kraft != 0 && kraft != 0x10000) bad_table();  // all zero: an empty code
        count[0] = 0;
        for (unsigned len = 1; len <= 16; ++len)
            for (unsigned s = 0; s < symbols; ++s)
                if (lengths[s] == len) sorted.push_back(s);
    }
    unsigned decode(BitWindow& in) const {
        if (single) {
            if (single_symbol >= symbols) bad_table();
            return single_symbol;
        }
        unsigned code = 0;
        unsigned first = 0;  // the first code of the current length
        unsigned index = 0;  // its place in `sorted`
        for (unsigned len = 1; len <= 16; ++len) {
            code |= in.read(1);
            if (code - first < count[len]) return sorted[index + code - first];
            index += count[len];
            first = (first + count[len]) << 1;
            code <<= 1;
        }
        bad_table();  // the code is empty
    }
};

struct Decoder {
    BitWindow in;
    Code length_code, literal, position;
    unsigned block_left = 0;  // 16 bits: a count of 0 gives 65536 symbols

    void read_small(Code& code, unsigned symbols, unsigned count_bits, unsigned zero_run_after) {
        const unsigned n = in.read(count_bits);
        if (n == 0) {
            code.set_single(symbols, in.read(count_bits));
            return;
        }
        if (n > symbols) bad_table();
        std::vector<unsigned> lengths(symbols, 0);
        unsigned i = 0;
        while (i < n) {
            unsigned c = in.window >> 13;
            if (c == 7) {
                for (unsigned mask = 1u << 12; mask != 0 && (in.window & mask) != 0; mask >>= 1) ++c;
            }
            if (c > 16) bad_table();
            in.advance(c < 7 ? 3 : c - 3);
            lengths[i++] = c;
            if (i == zero_run_after) {
                const unsigned z = in.read(2);
                if (i + z > symbols) bad_table();
                i += z;
            }
        }
        code.set_lengths(lengths);
    }

    void read_literal_lengths() {
        const unsigned n = in.read(9);
        if (n == 0) {
            literal.set_single(510, in.read(9));
            return;
        }
        if (n > 510) bad_table();
        std::vector<unsigned> lengths(510, 0);
        unsigned i = 0;
        while (i < n) {
            const unsigned c = length_code.decode(in);
            if (c >= 3) {
                lengths[i++] = c - 2;
                continue;
            }
            const unsigned zeros = c == 0 ? 1 : c == 1 ? in.read(4) + 3 : in.read(9) + 20;
            if (i + zeros > 510) bad_table();
            i += zeros;
        }
        literal.set_lengths(lengths);
    }

    unsigned next_symbol() {
        if (block_left == 0) {
            block_left = in.read(16);
            read_small(length_code, 19, 5, 3);
            read_literal_lengths();
            read_small(position, 14, 4, 0);
        }
        block_left = (block_left - 1) & 0xFFFF;
        return literal.decode(in);
    }
};

}  // namespace

base::Bytes reference_decode_lh5(base::ByteView data, std::size_t original_size) {
    Decoder d{BitWindow(data), {}, {}, {}, 0};
    std::array<std::uint8_t, 8192> ring{};
    base::Bytes out;
    std::size_t r = 0;
    while (out.size() < original_size) {
        const unsigned c = d.next_symbol();
        if (c < 256) {
            ring[r++ & 0x1FFF] = static_cast<std::uint8_t>(c);
            out.push_back(static_cast<std::uint8_t>(c));
            continue;
        }
        const unsigned j = d.position.decode(d.in);
        const unsigned p = j <= 1 ? j : (1u << (j - 1)) + d.in.read(j - 1);
        std::size_t source = (r - p - 1) & 0x1FFF;
        for (unsigned k = c - 253; k > 0 && out.size() < original_size; --k) {
            const std::uint8_t b = ring[source];
            source = (source + 1) & 0x1FFF;
            ring[r++ & 0x1FFF] = b;
            out.push_back(b);
        }
    }
    return out;
}

}  // namespace kitra::codec::test
