// Checked little-endian access to byte buffers. Every image structure is
// addressed by a file offset taken from the image itself, so every read and
// write goes through these helpers: an offset range outside the buffer is
// refused with a Fatal stop instead of touching memory it does not own.
// Callers that must treat "out of range" as "not there" test with in_range()
// or the try_ forms first.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kitra::base {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;
using MutableByteView = std::span<std::uint8_t>;

inline bool in_range(ByteView bytes, std::uint64_t offset, std::uint64_t length) {
    return offset <= bytes.size() && length <= bytes.size() - offset;
}

[[noreturn]] void out_of_range(std::uint64_t offset, std::uint64_t length, std::uint64_t size);

inline void check_range(ByteView bytes, std::uint64_t offset, std::uint64_t length) {
    if (!in_range(bytes, offset, length)) out_of_range(offset, length, bytes.size());
}

inline std::uint8_t read_u8(ByteView b, std::uint64_t off) {
    check_range(b, off, 1);
    return b[off];
}
inline std::uint16_t read_u16(ByteView b, std::uint64_t off) {
    check_range(b, off, 2);
    return static_cast<std::uint16_t>(b[off] | (b[off + 1] << 8));
}
inline std::uint32_t read_u32(ByteView b, std::uint64_t off) {
    check_range(b, off, 4);
    return static_cast<std::uint32_t>(b[off]) | (static_cast<std::uint32_t>(b[off + 1]) << 8) |
           (static_cast<std::uint32_t>(b[off + 2]) << 16) | (static_cast<std::uint32_t>(b[off + 3]) << 24);
}
inline std::optional<std::uint16_t> try_read_u16(ByteView b, std::uint64_t off) {
    if (!in_range(b, off, 2)) return std::nullopt;
    return read_u16(b, off);
}
inline std::optional<std::uint32_t> try_read_u32(ByteView b, std::uint64_t off) {
    if (!in_range(b, off, 4)) return std::nullopt;
    return read_u32(b, off);
}

inline void write_u8(MutableByteView b, std::uint64_t off, std::uint8_t v) {
    check_range(b, off, 1);
    b[off] = v;
}
inline void write_u16(MutableByteView b, std::uint64_t off, std::uint16_t v) {
    check_range(b, off, 2);
    b[off] = static_cast<std::uint8_t>(v);
    b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void write_u32(MutableByteView b, std::uint64_t off, std::uint32_t v) {
    check_range(b, off, 4);
    for (int i = 0; i < 4; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline ByteView slice(ByteView b, std::uint64_t off, std::uint64_t len) {
    check_range(b, off, len);
    return b.subspan(off, len);
}
inline MutableByteView slice(MutableByteView b, std::uint64_t off, std::uint64_t len) {
    check_range(b, off, len);
    return b.subspan(off, len);
}
// The bytes from `off` to at most `len` further, cut at the end of the buffer.
inline ByteView clipped(ByteView b, std::uint64_t off, std::uint64_t len) {
    if (off >= b.size()) return {};
    return b.subspan(off, std::min<std::uint64_t>(len, b.size() - off));
}

void fill(MutableByteView b, std::uint64_t off, std::uint64_t len, std::uint8_t value);
void copy_into(MutableByteView dst, std::uint64_t off, ByteView src);
// Moves `len` bytes inside one buffer (ranges may overlap).
void move_within(MutableByteView b, std::uint64_t dst, std::uint64_t src, std::uint64_t len);

// Exact comparison of the bytes at `off` with `text`; false when they would
// reach past the buffer.
bool matches(ByteView b, std::uint64_t off, std::string_view text);
// The same, letters compared without regard to case.
bool matches_ignore_case(ByteView b, std::uint64_t off, std::string_view text);

// The 8-bit sum of the bytes.
std::uint8_t sum8(ByteView b);
// The 16-bit sum of the bytes read as little-endian words from the first; a
// trailing odd byte counts as the low byte of a last word.
std::uint16_t sum16_le(ByteView b);

inline ByteView view_of(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}
inline std::string text_of(ByteView b) {
    return std::string(b.begin(), b.end());
}

}  // namespace kitra::base
