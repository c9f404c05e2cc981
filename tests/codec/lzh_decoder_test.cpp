#include "codec/lzh_decoder.h"

#include <gtest/gtest.h>

#include "base/fatal.h"
#include "codec/bit_writer.h"
#include "codec/codec_test_support.h"
#include "codec/crc16.h"
#include "codec/lzh_encoder.h"

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

TEST(Lh5Decoder, MatchIsCarriedAcrossCalls) {
    // Period-300 data: its matches reach 299 back and many cross the 8192
    // byte boundaries between calls.
    base::Bytes input;
    const base::Bytes period = test::random_bytes(300, 7);
    while (input.size() < 30000) input.insert(input.end(), period.begin(), period.end());
    input.resize(30000);
    Encoder enc;
    Captured cap;
    base::Bytes stream;
    ASSERT_FALSE(encode(enc, input, stream, cap.report(), false).unpackable);

    Lh5Decoder dec(stream);
    Window window{};
    for (std::size_t at = 0; at < input.size(); at += kWindowSize) {
        const std::size_t n = std::min<std::size_t>(kWindowSize, input.size() - at);
        dec.decode(window, n);
        ASSERT_TRUE(std::equal(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(n),
                               input.begin() + static_cast<std::ptrdiff_t>(at)))
            << "call at " << at;
    }
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

TEST(Crc16, ContinuesOverPieces) {
    EXPECT_EQ(crc16({}), 0);
    EXPECT_EQ(crc16(base::view_of("6789"), crc16(base::view_of("12345"))), 0xBB3D);
}

}  // namespace
}  // namespace kitra::codec
