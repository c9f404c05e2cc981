#include "base/bytes.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/fatal.h"

namespace kitra::base {

void out_of_range(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Image structure out of range: %llu bytes at offset %llXh of a %llXh-byte buffer.\n",
                  static_cast<unsigned long long>(length), static_cast<unsigned long long>(offset),
                  static_cast<unsigned long long>(size));
    throw Fatal(text, 1);
}

void fill(MutableByteView b, std::uint64_t off, std::uint64_t len, std::uint8_t value) {
    check_range(b, off, len);
    std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(off), len, value);
}

void copy_into(MutableByteView dst, std::uint64_t off, ByteView src) {
    check_range(dst, off, src.size());
    if (!src.empty()) std::memmove(dst.data() + off, src.data(), src.size());
}

void move_within(MutableByteView b, std::uint64_t dst, std::uint64_t src, std::uint64_t len) {
    check_range(b, dst, len);
    check_range(b, src, len);
    if (len != 0) std::memmove(b.data() + dst, b.data() + src, len);
}

bool matches(ByteView b, std::uint64_t off, std::string_view text) {
    if (!in_range(b, off, text.size())) return false;
    // Searches try a marker at thousands of places, nearly all of which
    // differ in the first byte: one compare settles those without a call.
    if (!text.empty() && b[off] != static_cast<std::uint8_t>(text[0])) return false;
    return std::memcmp(b.data() + off, text.data(), text.size()) == 0;
}

bool matches_ignore_case(ByteView b, std::uint64_t off, std::string_view text) {
    if (!in_range(b, off, text.size())) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (std::tolower(b[off + i]) != std::tolower(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

// The image sums run over whole images of megabytes, several times per run,
// so they add eight bytes at a time: the bytes (or words) of a 64-bit load
// go into 16-bit (or 32-bit) lanes of an accumulator that is emptied into
// the total before a lane can overflow.
namespace {

// Eight bytes as a little-endian number, whatever the host's byte order.
std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

}  // namespace

std::uint8_t sum8(ByteView b) {
    constexpr std::uint64_t kLowBytes = 0x00FF00FF00FF00FFull;
    std::uint64_t total = 0;
    std::size_t i = 0;
    while (b.size() - i >= 8) {
        std::uint64_t lanes = 0;  // four 16-bit lanes, at most 2 x 255 added per step
        const std::size_t end = i + 8 * std::min<std::size_t>((b.size() - i) / 8, 128);
        for (; i < end; i += 8) {
            const std::uint64_t v = load64(b.data() + i);
            lanes += (v & kLowBytes) + ((v >> 8) & kLowBytes);
        }
        for (int k = 0; k < 4; ++k) total += (lanes >> (16 * k)) & 0xFFFF;
    }
    for (; i < b.size(); ++i) total += b[i];
    return static_cast<std::uint8_t>(total);
}

std::uint16_t sum16_le(ByteView b) {
    constexpr std::uint64_t kLowWords = 0x0000FFFF0000FFFFull;
    std::uint64_t total = 0;
    std::size_t i = 0;
    while (b.size() - i >= 8) {
        std::uint64_t lanes = 0;  // two 32-bit lanes, at most 2 x 65535 added per step
        const std::size_t end = i + 8 * std::min<std::size_t>((b.size() - i) / 8, 32768);
        for (; i < end; i += 8) {
            const std::uint64_t v = load64(b.data() + i);
            lanes += (v & kLowWords) + ((v >> 16) & kLowWords);
        }
        total += (lanes & 0xFFFFFFFF) + (lanes >> 32);
    }
    for (; i + 1 < b.size(); i += 2) total += b[i] | (b[i + 1] << 8);
    if (i < b.size()) total += b[i];  // a trailing odd byte counts as a low byte
    return static_cast<std::uint16_t>(total);
}

}  // namespace kitra::base
