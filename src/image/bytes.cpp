#include "image/bytes.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "image/fatal.h"

namespace kitra::image {

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
    return in_range(b, off, text.size()) && std::memcmp(b.data() + off, text.data(), text.size()) == 0;
}

bool matches_ignore_case(ByteView b, std::uint64_t off, std::string_view text) {
    if (!in_range(b, off, text.size())) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (std::tolower(b[off + i]) != std::tolower(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

std::uint8_t sum8(ByteView b) {
    unsigned sum = 0;
    for (std::uint8_t v : b) sum += v;
    return static_cast<std::uint8_t>(sum);
}

}  // namespace kitra::image
