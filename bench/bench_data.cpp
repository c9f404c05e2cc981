#include "bench_data.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "support/rng.h"

namespace kitra::bench {

namespace {

using base::Bytes;
using testing::Rng;

// Real-mode x86 code: a few hundred "instructions" reused with varying
// operands, near calls, string tables and padding.
void add_code(Bytes& b, std::size_t n, Rng& r) {
    static const std::vector<std::vector<std::uint8_t>> kOps = {{0x8B, 0x46},
                                                                {0x89, 0x46},
                                                                {0x8B, 0x5E},
                                                                {0x50},
                                                                {0x53},
                                                                {0x51},
                                                                {0x52},
                                                                {0x58},
                                                                {0x5B},
                                                                {0xC3},
                                                                {0x74},
                                                                {0x75},
                                                                {0xEB},
                                                                {0x3C},
                                                                {0x80, 0x3E},
                                                                {0xB8},
                                                                {0xBB},
                                                                {0xE4},
                                                                {0xE6},
                                                                {0x66, 0x8B, 0x07},
                                                                {0x0F, 0xB6, 0xC0},
                                                                {0xF6, 0xC4},
                                                                {0x33, 0xC0},
                                                                {0xFA},
                                                                {0xFB},
                                                                {0x2E, 0xFF, 0x16}};
    const std::size_t end = b.size() + n;
    while (b.size() < end) {
        const unsigned k = r.below(100);
        if (k < 70) {
            const auto& op = kOps[r.below(static_cast<unsigned>(kOps.size()))];
            b.insert(b.end(), op.begin(), op.end());
            for (unsigned i = r.below(3); i > 0; --i) b.push_back(static_cast<std::uint8_t>(r.below(64) * 2));
        } else if (k < 85) {
            b.push_back(0xE8);
            const unsigned target = r.below(0x2000);
            b.push_back(static_cast<std::uint8_t>(target));
            b.push_back(static_cast<std::uint8_t>(target >> 8));
        } else if (k < 95) {
            b.push_back(static_cast<std::uint8_t>(r.next()));
        } else {
            b.insert(b.end(), r.below(16), k < 98 ? 0x00 : 0x90);
        }
    }
    b.resize(end);
}

void add_text(Bytes& b, std::size_t n, Rng& r) {
    static const char* const kWords[] = {
        "Press ",   "F1 ",     "to ",      "continue",   ", ",       "DEL ",      "enter ",  "SETUP\r\n",
        "CMOS ",    "memory ", "error",    " checksum ", "bad",      "Keyboard ", "not ",    "found\r\n",
        "Primary ", "Master ", "Slave ",   "Secondary ", "IDE ",     "drive ",    "boot ",   "device\r\n",
        "%s ",      "%04X ",   "Disabled", "Enabled",    "Auto\r\n", "USB ",      "legacy ", "support "};
    const std::size_t end = b.size() + n;
    while (b.size() < end) {
        const char* w = kWords[r.below(32)];
        b.insert(b.end(), w, w + std::strlen(w));
        if (r.below(12) == 0) b.push_back(0);
    }
    b.resize(end);
}

// A 4-bit logo bitmap: rows of background (zero) with runs of colour.
void add_bitmap(Bytes& b, std::size_t n, Rng& r) {
    const std::size_t end = b.size() + n;
    while (b.size() < end) {
        const unsigned k = r.below(10);
        if (k < 6)
            b.insert(b.end(), 1 + r.below(600), 0x00);
        else if (k < 9)
            b.insert(b.end(), 1 + r.below(40), static_cast<std::uint8_t>(0x11 * r.below(16)));
        else
            for (unsigned i = 1 + r.below(24); i > 0; --i) b.push_back(static_cast<std::uint8_t>(r.next()));
    }
    b.resize(end);
}

}  // namespace

Bytes firmware_like(std::size_t size) {
    Rng r(2026);
    Bytes b;
    b.reserve(size);
    while (b.size() < size) {
        const std::size_t piece = std::min<std::size_t>(size - b.size(), 16384 + r.below(65536));
        const unsigned kind = r.below(10);
        if (kind < 5)
            add_code(b, piece, r);
        else if (kind < 7)
            add_text(b, piece, r);
        else
            add_bitmap(b, piece, r);
    }
    return b;
}

Bytes noise_bytes(std::size_t size) {
    Rng r(7);
    Bytes b(size);
    for (auto& x : b) x = static_cast<std::uint8_t>(r.next());
    return b;
}

}  // namespace kitra::bench
