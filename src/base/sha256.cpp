#include "base/sha256.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define KITRA_SHA_INSTRUCTIONS 1
#endif

namespace kitra::base {

namespace {

constexpr std::array<std::uint32_t, 64> kRoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::array<std::uint32_t, 8> kInitialState = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr std::size_t kBlock = 64;

using State = std::array<std::uint32_t, 8>;

constexpr std::uint32_t rotr(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

void compress_plain(State& s, const std::uint8_t* data, std::size_t blocks) {
    for (; blocks > 0; --blocks, data += kBlock) {
        std::array<std::uint32_t, 64> w{};
        for (std::size_t i = 0; i < 16; ++i)
            w[i] = std::uint32_t{data[4 * i]} << 24 | std::uint32_t{data[4 * i + 1]} << 16 |
                   std::uint32_t{data[4 * i + 2]} << 8 | std::uint32_t{data[4 * i + 3]};
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = s[0], b = s[1], c = s[2], d = s[3], e = s[4], f = s[5], g = s[6], h = s[7];
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) +
                                     kRoundConstants[i] + w[i];
            const std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        s[0] += a;
        s[1] += b;
        s[2] += c;
        s[3] += d;
        s[4] += e;
        s[5] += f;
        s[6] += g;
        s[7] += h;
    }
}

#ifdef KITRA_SHA_INSTRUCTIONS

// Leaf 7 says SHA (EBX bit 29); leaf 1 SSSE3 (ECX bit 9) and SSE4.1 (bit 19),
// which the byte shuffles and blends need.
bool has_sha_instructions() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0 || (c & (1u << 9)) == 0 || (c & (1u << 19)) == 0) return false;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return false;
    return (b & (1u << 29)) != 0;
}

// The instructions keep the state as two registers, ABEF and CDGH, and take
// four message words a step: each step of four rounds adds the round
// constants to the message words, runs two rounds, moves the upper two
// words down and runs two more, while the schedule of the words sixteen
// rounds ahead is made from the last ones (msg1, the word three steps back,
// msg2).
__attribute__((target("sha,sse4.1,ssse3"))) void compress_sha(State& s, const std::uint8_t* data,
                                                              std::size_t blocks) {
    const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&s[0]));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&s[4]));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

    for (; blocks > 0; --blocks, data += kBlock) {
        const __m128i abef_before = abef;
        const __m128i cdgh_before = cdgh;
        __m128i m[4];
        for (std::size_t i = 0; i < 4; ++i)
            m[i] =
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byte_swap);
#pragma GCC unroll 16
        for (std::size_t i = 0; i < 16; ++i) {
            __m128i& now = m[i % 4];
            __m128i msg = _mm_add_epi32(
                now, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRoundConstants[4 * i])));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, msg);
            if (i >= 3 && i <= 14) {
                __m128i& ahead = m[(i + 1) % 4];
                ahead = _mm_add_epi32(ahead, _mm_alignr_epi8(now, m[(i + 3) % 4], 4));
                ahead = _mm_sha256msg2_epu32(ahead, now);
            }
            msg = _mm_shuffle_epi32(msg, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, msg);
            if (i >= 1 && i <= 12) m[(i + 3) % 4] = _mm_sha256msg1_epu32(m[(i + 3) % 4], now);
        }
        abef = _mm_add_epi32(abef, abef_before);
        cdgh = _mm_add_epi32(cdgh, cdgh_before);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&s[0]), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&s[4]), hgfe);
}

#endif

void compress(State& s, const std::uint8_t* data, std::size_t blocks, bool cpu_instructions) {
#ifdef KITRA_SHA_INSTRUCTIONS
    static const bool available = has_sha_instructions();
    if (cpu_instructions && available) {
        compress_sha(s, data, blocks);
        return;
    }
#else
    (void)cpu_instructions;
#endif
    compress_plain(s, data, blocks);
}

}  // namespace

Sha256Digest sha256(ByteView data, bool cpu_instructions) {
    State s = kInitialState;
    const std::size_t whole = data.size() / kBlock;
    compress(s, data.data(), whole, cpu_instructions);

    // The last bytes, a 1 bit, zeros, and the length in bits (big-endian) in
    // the last 8 bytes of one or two blocks.
    std::array<std::uint8_t, 2 * kBlock> tail{};
    const std::size_t rest = data.size() - whole * kBlock;
    if (rest > 0) std::memcpy(tail.data(), data.data() + whole * kBlock, rest);
    tail[rest] = 0x80;
    const std::size_t tail_blocks = rest + 9 > kBlock ? 2 : 1;
    const std::uint64_t bits = std::uint64_t{data.size()} * 8;
    for (int i = 0; i < 8; ++i)
        tail[tail_blocks * kBlock - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
    compress(s, tail.data(), tail_blocks, cpu_instructions);

    Sha256Digest digest{};
    for (int i = 0; i < 8; ++i)
        for (int k = 0; k < 4; ++k) digest[4 * i + k] = static_cast<std::uint8_t>(s[i] >> (24 - 8 * k));
    return digest;
}

std::string sha256_text(const Sha256Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const std::uint8_t b : digest) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

}  // namespace kitra::base
