#include "codec/lzh_decoder.h"

#include <gtest/gtest.h>

#include "base/fatal.h"
#include "codec/bit_writer.h"
#include "codec/codec_test_support.h"
#include "codec/crc16.h"
#include "codec/lzh_encoder.h"
#include "codec/reference_lh5_decoder.h"

namespace kitra::codec {
namespace {

using test::Captured;

// Builds a stream bit by bit.
struct Stream {
    base::Bytes bytes;
    BitWriter w{bytes};
    Stream() { w.set_limit(1u << 30); }
    Stream& put(unsigned n, std::uint32_t v) {
        w.put(n, v);
        return *this;
    }
    base::Bytes done() {
        w.put(7, 0);
        w.flush();
        return bytes;
    }
};

// A block header whose length code, literal/length code and position code
// each have a single symbol: no bits per symbol.
Stream single_symbol_block(unsigned count, unsigned literal, unsigned position = 0) {
    Stream s;
    s.put(16, count).put(5, 0).put(5, 0).put(9, 0).put(9, literal).put(4, 0).put(4, position);
    return s;
}

// A block with two literal/length symbols of one bit each: `a` (code 0) and
// `b` (code 1), a < b, sent through a length code of symbols 2 and 3 (zero
// runs of 20+ and length 1), and a single-symbol position code.
Stream two_symbol_block(unsigned count, unsigned a, unsigned b, unsigned position = 0) {
    Stream s;
    s.put(16, count);
    s.put(5, 4).put(3, 0).put(3, 0).put(3, 1).put(2, 0).put(3, 1);  // length code: 2 -> "0", 3 -> "1"
    s.put(9, b + 1);
    s.put(1, 0).put(9, a - 20);          // a zeros
    s.put(1, 1);                         // length 1 for a
    s.put(1, 0).put(9, b - a - 1 - 20);  // zeros up to b
    s.put(1, 1);                         // length 1 for b
    s.put(4, 0).put(4, position);
    return s;
}

void expect_bad_table(const base::Bytes& stream, std::size_t size) {
    try {
        (void)decode_lh5(stream, size);
        ADD_FAILURE() << "no Fatal";
    } catch (const Fatal& f) {
        EXPECT_STREQ(f.what(), "Bad table\n");
        EXPECT_EQ(f.status, 1);
    }
}

TEST(Lh5Decoder, SingleSymbolBlockCostsNoBitsPerSymbol) {
    const base::Bytes stream = single_symbol_block(300, 0x41).done();
    EXPECT_EQ(stream.size(), 7u);  // 52 header bits and the flush
    EXPECT_EQ(decode_lh5(stream, 300), base::Bytes(300, 0x41));
    // The header alone is enough: nothing else is read.
    EXPECT_EQ(decode_lh5(base::ByteView(stream).first(6), 300), base::Bytes(300, 0x41));
}

TEST(Lh5Decoder, OriginalSizeZeroReadsNothing) {
    EXPECT_TRUE(decode_lh5({}, 0).empty());
    EXPECT_TRUE(decode_lh5(base::Bytes{0xFF, 0xFF}, 0).empty());
}

TEST(Lh5Decoder, DistanceZeroRepeatsTheLastByte) {
    // 'x' then a match of length 5 (symbol 258) at distance value 0.
    const base::Bytes stream = two_symbol_block(2, 'x', 258).put(1, 0).put(1, 1).done();
    EXPECT_EQ(base::text_of(decode_lh5(stream, 6)), "xxxxxx");
}

TEST(Lh5Decoder, BlockOfCountZeroHolds65536Symbols) {
    // The 16-bit count wraps: a block that says 0 codes 65536 symbols.
    const base::Bytes stream = single_symbol_block(0, 'z').done();
    EXPECT_EQ(decode_lh5(stream, 65536), base::Bytes(65536, 'z'));
    // Symbol 65537 needs a new block header: all zero bits, whose single
    // literal/length symbol is byte 0.
    base::Bytes out = decode_lh5(stream, 65540);
    EXPECT_EQ(out[65535], 'z');
    EXPECT_EQ(out[65536], 0);
}

TEST(Lh5Decoder, MatchesAcrossWindowsAndCutAtTheEnd) {
    // Period-300 data: its matches reach 299 back and many cross the 8192
    // byte boundaries of the window the format was made for.
    base::Bytes input;
    const base::Bytes period = test::random_bytes(300, 7);
    while (input.size() < 30000) input.insert(input.end(), period.begin(), period.end());
    input.resize(30000);
    Encoder enc;
    Captured cap;
    base::Bytes stream;
    ASSERT_FALSE(encode(enc, input, stream, cap.report(), false).unpackable);
    EXPECT_EQ(decode_lh5(stream, input.size()), input);
    // Asking for fewer bytes cuts the last match short, wherever it ends:
    // in the fast loop's last rounds and in the symbol-at-a-time end.
    for (std::size_t n : {1u, 2u, 299u, 300u, 301u, 8191u, 8192u, 8193u, 29000u, 29999u}) {
        const base::Bytes out = decode_lh5(stream, n);
        ASSERT_TRUE(std::equal(out.begin(), out.end(), input.begin())) << n;
        ASSERT_EQ(out.size(), n);
    }
}

TEST(Lh5Decoder, OverlappingMatchesRepeatShortPeriods) {
    // Distances of 1 to 20 with lengths far beyond them, between stretches
    // of noise that keep the stream long: every such copy overlaps the
    // bytes it writes.
    Encoder enc;
    Captured cap;
    for (std::size_t period = 1; period <= 20; ++period) {
        base::Bytes input;
        for (std::uint64_t k = 0; k < 10; ++k) {
            const base::Bytes noise = test::random_bytes(400, period * 100 + k);
            const base::Bytes unit = test::random_bytes(period, period * 1000 + k);
            input.insert(input.end(), noise.begin(), noise.end());
            for (int r = 0; r < 300; r += static_cast<int>(period))
                input.insert(input.end(), unit.begin(), unit.end());
        }
        base::Bytes stream;
        ASSERT_FALSE(encode(enc, input, stream, cap.report(), false).unpackable);
        EXPECT_EQ(decode_lh5(stream, input.size()), input) << "period " << period;
    }
}

TEST(Lh5Decoder, BlockEndsWhereverTheFastLoopIs) {
    // Single-symbol blocks cost no bits, two literals a table entry: the
    // fast loop must still stop at each block's last symbol, whatever its
    // count, and read the next header there.
    for (unsigned count = 1; count <= 12; ++count) {
        Stream s = single_symbol_block(count, 'A');
        s.put(16, 1000).put(5, 0).put(5, 0).put(9, 0).put(9, 'B').put(4, 0).put(4, 0);
        base::Bytes stream = s.done();
        stream.resize(stream.size() + 64);  // room for the fast loop's word loads
        base::Bytes expected(count, 'A');
        expected.resize(count + 1000, 'B');
        EXPECT_EQ(decode_lh5(stream, expected.size()), expected) << count;
    }
}

TEST(Lh5Decoder, DistanceBeforeTheStartReadsZeros) {
    // 'x', then a match of length 5 (symbol 258) at the largest distance
    // value 8191: the 8 KiB ring the format was made for held zeros there.
    Stream s;
    s.put(16, 2);
    s.put(5, 4).put(3, 0).put(3, 0).put(3, 1).put(2, 0).put(3, 1);  // length code: 2 -> "0", 3 -> "1"
    s.put(9, 259).put(1, 0).put(9, 'x' - 20).put(1, 1).put(1, 0).put(9, 258 - 'x' - 1 - 20).put(1, 1);
    s.put(4, 0).put(4, 13);  // the single position symbol 13: 12 extra bits
    s.put(1, 0).put(1, 1).put(12, 0xFFF);
    const base::Bytes stream = s.done();
    EXPECT_EQ(decode_lh5(stream, 6), (base::Bytes{'x', 0, 0, 0, 0, 0}));
    EXPECT_EQ(test::reference_decode_lh5(stream, 6), (base::Bytes{'x', 0, 0, 0, 0, 0}));
}

TEST(Lh5Decoder, TruncatedDataStillGivesOriginalSize) {
    const base::Bytes input = test::text_like(20000, 3);
    Encoder enc;
    Captured cap;
    base::Bytes stream;
    ASSERT_FALSE(encode(enc, input, stream, cap.report(), false).unpackable);
    const base::Bytes out = decode_lh5(base::ByteView(stream).first(stream.size() / 2), input.size());
    ASSERT_EQ(out.size(), input.size());
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 1000, input.begin()));
}

TEST(Lh5Decoder, BadTables) {
    // Over-full length code: three codes of one bit.
    expect_bad_table(Stream().put(16, 1).put(5, 3).put(3, 1).put(3, 1).put(3, 1).put(2, 0).done(), 1);
    // Over-full in a way that wraps 16-bit arithmetic: four one-bit codes.
    expect_bad_table(Stream().put(16, 1).put(5, 4).put(3, 1).put(3, 1).put(3, 1).put(2, 0).put(3, 1).done(),
                     1);
    // Incomplete: a single one-bit code.
    expect_bad_table(Stream().put(16, 1).put(5, 1).put(3, 1).done(), 1);
    // More lengths than the alphabet: 20 length-code lengths, 15 position lengths.
    expect_bad_table(Stream().put(16, 1).put(5, 20).done(), 1);
    expect_bad_table(Stream().put(16, 1).put(5, 0).put(5, 0).put(9, 0).put(9, 'a').put(4, 15).done(), 1);
    // A length over 16: "111" and thirteen more 1 bits.
    expect_bad_table(Stream().put(16, 1).put(5, 1).put(3, 7).put(13, 0x1FFF).put(4, 0).done(), 1);
    // 511 literal/length lengths.
    {
        Stream s;
        s.put(16, 1).put(5, 4).put(3, 0).put(3, 0).put(3, 1).put(2, 0).put(3, 1).put(9, 511);
        expect_bad_table(s.done(), 1);
    }
    // A run of zero lengths past the 510 entries: 20 + 491.
    {
        Stream s;
        s.put(16, 1).put(5, 4).put(3, 0).put(3, 0).put(3, 1).put(2, 0).put(3, 1);
        s.put(9, 510).put(1, 1).put(1, 0).put(9, 491);
        expect_bad_table(s.done(), 1);
    }
    // A single literal/length symbol outside the alphabet, decoded.
    expect_bad_table(single_symbol_block(5, 510).done(), 5);
    // A length code with lengths sent but all zero, then used.
    expect_bad_table(Stream().put(16, 1).put(5, 1).put(3, 0).put(9, 3).done(), 1);
}

TEST(Lh5Decoder, UnusedSingleSymbolOutsideAlphabetIsHarmless) {
    // Position symbol 15 does not exist, but a block of literals never needs it.
    EXPECT_EQ(decode_lh5(single_symbol_block(4, 'q', 15).done(), 4), base::Bytes(4, 'q'));
    // A match does: then it is a bad table.
    expect_bad_table(two_symbol_block(2, 'x', 258, 15).put(1, 0).put(1, 1).done(), 6);
}

// The fast decoder and the plain one agree: the same bytes, or both stop
// with "Bad table".
void expect_same_as_reference(base::ByteView stream, std::size_t size, const std::string& what) {
    base::Bytes fast, plain;
    std::string fast_stop, plain_stop;
    try {
        fast = decode_lh5(stream, size);
    } catch (const Fatal& f) {
        fast_stop = f.what();
    }
    try {
        plain = test::reference_decode_lh5(stream, size);
    } catch (const Fatal& f) {
        plain_stop = f.what();
    }
    ASSERT_EQ(fast_stop, plain_stop) << what;
    if (fast_stop.empty()) {
        ASSERT_EQ(fast.size(), size) << what;
        ASSERT_TRUE(fast == plain) << what;
    } else {
        ASSERT_EQ(fast_stop, "Bad table\n") << what;
    }
}

TEST(Lh5Decoder, AgreesWithReferenceOnDamagedCutAndRandomStreams) {
    Encoder enc;
    Captured cap;
    test::Rng rng(19);
    int stops = 0;
    for (unsigned k = 0; k < 6; ++k) {
        const std::size_t n = k < 3 ? 3000 + 7000 * k : 30000;
        const base::Bytes input = k % 3 == 0   ? test::code_like(n, k)
                                  : k % 3 == 1 ? test::text_like(n, k)
                                               : test::bitmap_like(n, k);
        base::Bytes stream;
        ASSERT_FALSE(encode(enc, input, stream, cap.report(), false).unpackable);
        const std::string name = "input " + std::to_string(k);
        expect_same_as_reference(stream, n, name);
        // Asked for more than was packed: zero bits past the end.
        expect_same_as_reference(stream, n + 1 + rng.below(3000), name + " longer");
        for (int i = 0; i < 12; ++i) {
            const std::size_t cut = rng.below(static_cast<unsigned>(stream.size()));
            expect_same_as_reference(base::ByteView(stream).first(cut), n,
                                     name + " cut at " + std::to_string(cut));
        }
        for (int i = 0; i < 25; ++i) {
            base::Bytes damaged = stream;
            for (unsigned flips = 1 + rng.below(3); flips > 0; --flips)
                damaged[rng.below(static_cast<unsigned>(damaged.size()))] ^=
                    static_cast<std::uint8_t>(1u << rng.below(8));
            try {
                (void)decode_lh5(damaged, n);
            } catch (const Fatal&) {
                ++stops;
            }
            expect_same_as_reference(damaged, n, name + " damaged " + std::to_string(i));
        }
    }
    EXPECT_GT(stops, 10);  // damage does reach the table checks
    for (int i = 0; i < 300; ++i) {
        const base::Bytes noise = test::random_bytes(1 + rng.below(400), 1000 + i);
        expect_same_as_reference(noise, 1 + rng.below(5000), "random " + std::to_string(i));
    }
}

TEST(Crc16, ContinuesOverPieces) {
    EXPECT_EQ(crc16({}), 0);
    EXPECT_EQ(crc16(base::view_of("6789"), crc16(base::view_of("12345"))), 0xBB3D);
    // Eight bytes at a time and the rest byte by byte give the bit-by-bit
    // value, for every length and split.
    const base::Bytes data = test::random_bytes(100, 12);
    for (std::size_t n = 0; n <= data.size(); ++n) {
        std::uint16_t slow = 0;
        for (std::size_t i = 0; i < n; ++i) {
            slow ^= data[i];
            for (int k = 0; k < 8; ++k)
                slow = static_cast<std::uint16_t>(slow & 1 ? (slow >> 1) ^ 0xA001 : slow >> 1);
        }
        const base::ByteView all = base::ByteView(data).first(n);
        ASSERT_EQ(crc16(all), slow) << n;
        ASSERT_EQ(crc16(all.subspan(n / 3), crc16(all.first(n / 3))), slow) << n;
    }
}

}  // namespace
}  // namespace kitra::codec
