#include "platform/utf16.h"

#include <cstdint>

namespace kitra::platform {

namespace {

// The length of the well-formed UTF-8 sequence at `at`, with its code point,
// or 0 when the bytes there are no such sequence (overlong forms, surrogates
// and values past U+10FFFF included).
std::size_t utf8_sequence(std::string_view text, std::size_t at, char32_t& point) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[at + i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        point = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        point = lead & 0x1Fu;
        min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        point = lead & 0x0Fu;
        min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        point = lead & 0x07u;
        min = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        point = (point << 6) | (byte(i) & 0x3Fu);
    }
    if (point < min || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
    return length;
}

void append_utf8(std::string& out, char32_t point) {
    const auto put = [&](unsigned value) { out.push_back(static_cast<char>(value)); };
    if (point < 0x80) {
        put(point);
    } else if (point < 0x800) {
        put(0xC0 | (point >> 6));
        put(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        put(0xE0 | (point >> 12));
        put(0x80 | ((point >> 6) & 0x3F));
        put(0x80 | (point & 0x3F));
    } else {
        put(0xF0 | (point >> 18));
        put(0x80 | ((point >> 12) & 0x3F));
        put(0x80 | ((point >> 6) & 0x3F));
        put(0x80 | (point & 0x3F));
    }
}

}  // namespace

std::u16string to_utf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        char32_t point = 0;
        std::size_t length = utf8_sequence(utf8, at, point);
        if (length == 0) {
            point = static_cast<std::uint8_t>(utf8[at]);
            length = 1;
        }
        at += length;
        if (point < 0x10000) {
            out.push_back(static_cast<char16_t>(point));
        } else {
            point -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
        }
    }
    return out;
}

std::string to_utf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t at = 0; at < utf16.size(); ++at) {
        char32_t point = utf16[at];
        if (point >= 0xD800 && point <= 0xDBFF && at + 1 < utf16.size() && utf16[at + 1] >= 0xDC00 &&
            utf16[at + 1] <= 0xDFFF) {
            point = 0x10000 + ((point - 0xD800) << 10) + (utf16[at + 1] - 0xDC00);
            ++at;
        } else if (point >= 0xD800 && point <= 0xDFFF) {
            point = 0xFFFD;
        }
        append_utf8(out, point);
    }
    return out;
}

}  // namespace kitra::platform
