#include "codec/lzh_encoder.h"

#include <gtest/gtest.h>

#include "codec/bit_reader.h"
#include "codec/codec_test_support.h"
#include "codec/huffman_builder.h"
#include "codec/huffman_table.h"
#include "codec/lzh_decoder.h"
#include "support/external_program.h"

namespace kitra::codec {
namespace {

using test::Captured;

struct Token {
    unsigned length;  // 0 for a literal
    unsigned value;   // the byte, or the distance value
    bool operator==(const Token&) const = default;
};

// The items of the block that encode() sent last, `count` of them.
std::vector<Token> items_of_last_block(const Encoder& enc, unsigned count) {
    std::vector<Token> out;
    unsigned pos = 0;
    unsigned flags = 0;
    for (unsigned i = 0; i < count; ++i) {
        flags = i % 8 == 0 ? enc.items[pos++] : (flags << 1) & 0xFF;
        if (flags & 0x80) {
            const unsigned len = enc.items[pos] + 256u - kLengthSymbolBase;
            out.push_back({len, (unsigned{enc.items[pos + 1]} << 8) | enc.items[pos + 2]});
            pos += 3;
        } else {
            out.push_back({0, enc.items[pos++]});
        }
    }
    return out;
}

struct Encoded {
    base::Bytes stream;
    EncodeResult result;
    std::string out;
    std::string err;
};

Encoded encode_bytes(Encoder& enc, base::ByteView input, bool progress = false) {
    Captured cap;
    Encoded e;
    e.result = encode(enc, input, e.stream, cap.report(), progress);
    e.out = cap.out();
    e.err = cap.err();
    return e;
}

TEST(Lh5Encoder, EqualBytesAreOneLiteralAndFullLengthMatches) {
    Encoder enc;
    const base::Bytes input(20000, 'a');
    const Encoded e = encode_bytes(enc, input);
    ASSERT_FALSE(e.result.unpackable);
    const unsigned count = (unsigned{e.stream[0]} << 8) | e.stream[1];
    EXPECT_EQ(count, 80u);
    std::vector<Token> expected{{0, 'a'}};
    for (int i = 0; i < 78; ++i) expected.push_back({256, 0});
    expected.push_back({31, 0});
    EXPECT_EQ(items_of_last_block(enc, count), expected);
    EXPECT_EQ(decode_lh5(e.stream, input.size()), input);
    EXPECT_EQ(e.result.input_count, 20000u);
}

TEST(Lh5Encoder, EmptyOneByteAndRandomInputsAreUnpackable) {
    Encoder enc;
    EXPECT_TRUE(encode_bytes(enc, {}).result.unpackable);
    EXPECT_TRUE(encode_bytes(enc, base::Bytes{0x41}).result.unpackable);
    const base::Bytes random = test::random_bytes(50000, 1);
    const Encoded e = encode_bytes(enc, random);
    EXPECT_TRUE(e.result.unpackable);
    EXPECT_LE(e.stream.size(), random.size());
}

// Reads a block header far enough to see the position code part.
struct HeaderReader {
    BitReader in;
    explicit HeaderReader(base::ByteView s) : in(s) {}
    std::vector<std::uint8_t> small_lengths(unsigned count_bits, unsigned zero_run_after, unsigned symbols) {
        std::vector<std::uint8_t> len(symbols, 0);
        const unsigned n = in.read(count_bits);
        if (n == 0) {
            in.read(count_bits);
            return len;
        }
        for (unsigned i = 0; i < n;) {
            unsigned k = in.read(3);
            if (k == 7)
                while (in.read(1) == 1) ++k;
            len[i++] = static_cast<std::uint8_t>(k);
            if (i == zero_run_after) i += in.read(2);
        }
        return len;
    }
};

TEST(Lh5Encoder, LiteralOnlyBlockSendsEmptyPositionCode) {
    // A de Bruijn sequence: every 3-byte string over 16 letters once, so no
    // match at all.
    base::Bytes input;
    std::vector<int> a(3 * 16, 0);
    auto db = [&](auto&& self, int t, int p) -> void {
        if (t > 3) {
            if (3 % p == 0)
                for (int j = 1; j <= p; ++j) input.push_back(static_cast<std::uint8_t>('A' + a[j]));
        } else {
            a[t] = a[t - p];
            self(self, t + 1, p);
            for (int j = a[t - p] + 1; j < 16; ++j) {
                a[t] = j;
                self(self, t + 1, t);
            }
        }
    };
    db(db, 1, 1);
    input.push_back('A');
    input.push_back('A');
    ASSERT_EQ(input.size(), 4098u);

    Encoder enc;
    const Encoded e = encode_bytes(enc, input);
    ASSERT_FALSE(e.result.unpackable);
    HeaderReader h(e.stream);
    const unsigned count = h.in.read(16);
    EXPECT_EQ(count, 4098u);
    for (const Token& t : items_of_last_block(enc, count)) ASSERT_EQ(t.length, 0u);
    const std::vector<std::uint8_t> t_len = h.small_lengths(5, 3, kLengthCodeSymbols);
    HuffmanTable t;
    build_table(t, t_len, 8);
    const unsigned n = h.in.read(9);
    for (unsigned i = 0; i < n;) {
        h.in.refill();
        const unsigned c = decode_symbol(t, h.in);
        i += c == 0 ? 1 : c == 1 ? h.in.read(4) + 3 : c == 2 ? h.in.read(9) + 20 : 1;
    }
    EXPECT_EQ(h.in.read(4), 0u);  // no position lengths
    EXPECT_EQ(h.in.read(4), 0u);  // the single symbol 0
    EXPECT_EQ(decode_lh5(e.stream, input.size()), input);
}

TEST(Lh5Encoder, ProgressDotPerWindowSlide) {
    Encoder enc;
    EXPECT_EQ(encode_bytes(enc, test::text_like(20000, 1), true).out, "..");
    EXPECT_EQ(encode_bytes(enc, test::text_like(8000, 1), true).out, "");
    EXPECT_EQ(encode_bytes(enc, test::text_like(8193, 1), true).out, ".");
    EXPECT_EQ(encode_bytes(enc, test::text_like(20000, 1), false).out, "");
}

TEST(Lh5Encoder, EarlierInputsDoNotChangeTheStream) {
    const base::Bytes small = test::code_like(3000, 4);
    Encoder fresh;
    const base::Bytes expected = encode_bytes(fresh, small).stream;
    Encoder used;
    encode_bytes(used, test::text_like(100000, 2));
    encode_bytes(used, test::random_bytes(20000, 2));
    EXPECT_EQ(encode_bytes(used, small).stream, expected);
}

TEST(Lh5Encoder, RoundTripsOverManySizesAndKinds) {
    Encoder enc;
    test::Rng rng(99);
    std::vector<std::size_t> sizes{2,    3,    4,    17,    255,   256,   257,   8191,  8192,  8193,
                                   8447, 8448, 8449, 16383, 16384, 16385, 16639, 16640, 16641, 40000};
    for (int i = 0; i < 30; ++i) sizes.push_back(rng.below(120000));
    for (std::size_t k = 0; k < sizes.size(); ++k) {
        const std::size_t n = sizes[k];
        const base::Bytes input = k % 4 == 0   ? test::code_like(n, k)
                                  : k % 4 == 1 ? test::text_like(n, k)
                                  : k % 4 == 2 ? test::bitmap_like(n, k)
                                               : base::Bytes(n, static_cast<std::uint8_t>(k));
        const Encoded e = encode_bytes(enc, input);
        EXPECT_EQ(e.result.input_count, n);
        if (e.result.unpackable) continue;
        EXPECT_LT(e.stream.size(), n) << "size " << n;
        EXPECT_EQ(decode_lh5(e.stream, n), input) << "size " << n << " kind " << k % 4;
    }
}

// Encoders that code every input of 16 KiB and more on one thread, or on two
// (with finding threads that take pieces of `piece_windows` windows).
struct OneAndTwoThreads {
    Encoder one;
    Encoder two;
    explicit OneAndTwoThreads(std::size_t piece_windows = 32) {
        one.threads = 1;
        two.threads = 2;
        two.two_threads_from = 0;
        two.pieces = {piece_windows, 1};
    }
    void expect_same(const base::Bytes& input, const std::string& what) {
        const Encoded a = encode_bytes(one, input, true);
        const Encoded b = encode_bytes(two, input, true);
        EXPECT_EQ(a.result.unpackable, b.result.unpackable) << what;
        EXPECT_EQ(a.result.input_count, b.result.input_count) << what;
        EXPECT_EQ(a.result.crc, b.result.crc) << what;
        EXPECT_EQ(a.out, b.out) << what;
        EXPECT_TRUE(a.stream == b.stream)
            << what << ": streams of " << a.stream.size() << " and " << b.stream.size() << " bytes";
    }
};

TEST(Lh5Encoder, TwoThreadsGiveTheSameStream) {
    OneAndTwoThreads e;
    // Around the smallest two-thread input and the window's slides, and
    // larger; long matches that run into the last 257 positions, where the
    // coding thread takes the tree over.
    std::size_t k = 0;
    for (std::size_t n : {16383u, 16384u, 16385u, 16640u, 16641u, 16897u, 24576u, 24833u, 70000u, 200001u}) {
        ++k;
        e.expect_same(test::code_like(n, k), "code " + std::to_string(n));
        e.expect_same(test::text_like(n, k), "text " + std::to_string(n));
        e.expect_same(test::bitmap_like(n, k), "bitmap " + std::to_string(n));
        e.expect_same(base::Bytes(n, static_cast<std::uint8_t>(k)), "equal bytes " + std::to_string(n));
    }
    base::Bytes tail = test::text_like(50000, 3);
    const base::Bytes period = test::random_bytes(37, 3);
    while (tail.size() < 50300) tail.insert(tail.end(), period.begin(), period.end());
    e.expect_same(tail, "a period at the end");
}

TEST(Lh5Encoder, PiecesGiveTheSameStream) {
    // Pieces of one and two windows with one window of warm-up: many pieces
    // whose start differs from the tree that ran through and are found
    // again, many that agree; ends of pieces at the last 257 positions.
    for (const std::size_t windows : {1u, 2u}) {
        OneAndTwoThreads e(windows);
        std::size_t k = 0;
        for (std::size_t n : {24833u, 32768u + 257u, 32768u + 258u, 90000u, 300001u}) {
            ++k;
            e.expect_same(test::code_like(n, k), "code " + std::to_string(n));
            e.expect_same(test::text_like(n, k), "text " + std::to_string(n));
            e.expect_same(test::bitmap_like(n, k), "bitmap " + std::to_string(n));
        }
    }
}

TEST(Lh5Encoder, UnpackableStopsBothThreads) {
    OneAndTwoThreads e(2);
    // Random data: the coding thread gives up early, while the finding
    // threads are far ahead, warming up or waiting for room.
    e.expect_same(test::random_bytes(1u << 21, 5), "random");
    // A little text, then random: unpackable only after 256 KiB.
    base::Bytes late = test::text_like(500, 6);
    const base::Bytes noise = test::random_bytes(300000, 6);
    late.insert(late.end(), noise.begin(), noise.end());
    e.expect_same(late, "unpackable late");
    EXPECT_TRUE(encode_bytes(e.two, late).result.unpackable);
    // The encoder is whole again for the next input.
    e.expect_same(test::code_like(100000, 7), "after");
}

TEST(HuffmanBuilder, TiesAndCanonicalCodes) {
    HuffmanBuilder b;
    Captured cap;
    // Frequencies 1, 1, 2, 4 (and an unused symbol): lengths 3, 3, 2, 1.
    std::array<std::uint16_t, 9> freq{1, 1, 0, 2, 4};
    std::array<std::uint8_t, 5> len{};
    std::array<std::uint16_t, 5> code{};
    const unsigned root = build_code(b, 5, freq, len, code, cap.report());
    EXPECT_GE(root, 5u);
    EXPECT_EQ(freq[root], 8);
    EXPECT_EQ(len, (std::array<std::uint8_t, 5>{3, 3, 0, 2, 1}));
    EXPECT_EQ(code[4], 0b0);
    EXPECT_EQ(code[3], 0b10);
    EXPECT_EQ(code[0], 0b110);
    EXPECT_EQ(code[1], 0b111);
    EXPECT_EQ(cap.err(), "");
}

TEST(HuffmanBuilder, SingleAndNoSymbol) {
    HuffmanBuilder b;
    Captured cap;
    std::array<std::uint16_t, 27> freq{};
    std::array<std::uint8_t, 14> len{};
    std::array<std::uint16_t, 14> code{};
    len.fill(9);
    code.fill(9);
    EXPECT_EQ(build_code(b, 14, freq, len, code, cap.report()), 0u);
    EXPECT_EQ(code[0], 0);
    freq[6] = 12;
    EXPECT_EQ(build_code(b, 14, freq, len, code, cap.report()), 6u);
    EXPECT_EQ(code[6], 0);
    EXPECT_EQ(len, (std::array<std::uint8_t, 14>{}));
}

TEST(HuffmanBuilder, DeepTreesAreLimitedTo16Bits) {
    // Fibonacci frequencies make a tree 21 levels deep.
    HuffmanBuilder b;
    Captured cap;
    std::array<std::uint16_t, 2 * 22 - 1> freq{};
    std::uint16_t f0 = 1, f1 = 1;
    for (int i = 0; i < 22; ++i) {
        freq[i] = f0;
        const auto f2 = static_cast<std::uint16_t>(f0 + f1);
        f0 = f1;
        f1 = f2;
    }
    std::array<std::uint8_t, 22> len{};
    std::array<std::uint16_t, 22> code{};
    build_code(b, 22, freq, len, code, cap.report());
    std::uint32_t kraft = 0;
    for (unsigned l : len) {
        EXPECT_GE(l, 1u);
        EXPECT_LE(l, 16u);
        kraft += 1u << (16 - l);
    }
    EXPECT_EQ(kraft, 0x10000u);
    // Depths 17 .. 21 held 1+1+1+1+2 leaves, counted at 16 (Kraft sum 65536 + 5).
    EXPECT_EQ(cap.err(), "1717171717");
    // The lengths still decode.
    HuffmanTable t;
    build_table(t, len, 8);
}

// The stream must be the reference model's, byte for byte.
class ReferenceModel : public ::testing::Test {
  protected:
    void compare(const std::string& name, const base::Bytes& input) {
        SCOPED_TRACE(name);
        const auto in = dir.path / (name + ".in");
        const auto out = dir.path / (name + ".ref");
        test::write_file(in, input);
        const int status = test::run("python3 " + std::string(KITRA_TEST_TOOLS) + "/ref_lh5.py " +
                                     test::quoted(in) + " " + test::quoted(out) + " >/dev/null 2>&1");
        ASSERT_TRUE(status == 0 || status == 2) << "reference model failed: " << status;
        const Encoded e = encode_bytes(enc, input);
        ASSERT_EQ(e.result.unpackable, status == 2);
        if (status == 0) {
            EXPECT_EQ(e.stream, test::read_file(out))
                << "python3 " << KITRA_TEST_TOOLS << "/lh5_tokens.py shows where they differ";
        }
    }
    test::TempDir dir;
    Encoder enc;
};

TEST_F(ReferenceModel, SameStreamByteForByte) {
    KITRA_NEEDS_PROGRAM("python3", "python3");
    compare("empty", {});
    compare("one", base::Bytes{'x'});
    compare("short", base::Bytes(base::view_of("abcabcabcabcabcabc, hello hello hello").begin(),
                                 base::view_of("abcabcabcabcabcabc, hello hello hello").end()));
    compare("equal", base::Bytes(20000, 0x5A));
    compare("ff", base::Bytes(9000, 0xFF));
    for (std::size_t n : {8447u, 8448u, 8449u, 16384u, 16641u}) {
        compare("text" + std::to_string(n), test::text_like(n, n));
        compare("code" + std::to_string(n), test::code_like(n, n));
        compare("bitmap" + std::to_string(n), test::bitmap_like(n, n));
    }
    compare("random", test::random_bytes(30000, 5));
    compare("mostly-random", [] {
        base::Bytes b = test::random_bytes(40000, 6);
        for (std::size_t i = 0; i < b.size(); i += 64) b[i] = 0;
        return b;
    }());
    compare("text-big", test::text_like(200000, 8));
    compare("code-big", test::code_like(150000, 9));
    compare("bitmap-big", test::bitmap_like(150000, 10));
    base::Bytes mixed = test::code_like(60000, 11);
    for (const base::Bytes& part :
         {test::text_like(50000, 12), test::bitmap_like(60000, 13), test::random_bytes(20000, 14)})
        mixed.insert(mixed.end(), part.begin(), part.end());
    compare("mixed", mixed);
    // Long matches back to back, whose skipped positions run over the ends
    // of the match finder's chunks and the window's slides at every offset.
    base::Bytes repeats;
    const base::Bytes block = test::random_bytes(1000, 15);
    while (repeats.size() < 45000)
        repeats.insert(repeats.end(), block.begin(), block.end() - repeats.size() % 7);
    compare("repeats", repeats);
}

}  // namespace
}  // namespace kitra::codec
