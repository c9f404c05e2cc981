// Text helpers shared by every layer: printf into a std::string (messages and
// listings keep their C formats, byte for byte), and text taken from an image
// made safe to show.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// printf-style checking of a format argument. MinGW's compilers take "printf"
// for the Microsoft runtime's dialect; the standard library there formats
// as C99 does, which is the GNU dialect.
#if defined(__MINGW32__)
#define KITRA_PRINTF_FORMAT(fmt, first) __attribute__((format(gnu_printf, fmt, first)))
#else
#define KITRA_PRINTF_FORMAT(fmt, first) __attribute__((format(printf, fmt, first)))
#endif

namespace kitra::base {

// A 64-bit figure as printf's %llu and %llX take it.
inline unsigned long long ull(std::uint64_t v) {
    return v;
}

std::string format(const char* fmt, ...) KITRA_PRINTF_FORMAT(1, 2);

// The bytes a terminal may take for a command rather than a character: the
// C0 controls with DEL (0x00-0x1F, 0x7F) and the C1 controls (0x80-0x9F),
// which terminals of the 8-bit kind read as ESC sequences (0x9B starts one).
bool is_control_byte(unsigned char byte);

// Text taken from an image is data: a BEL, a carriage return, a line feed or
// an escape sequence in a stored name could ring, draw over other lines or
// drive the terminal, so every control byte is shown as "?".
std::string printable(std::string_view image_text);

}  // namespace kitra::base
