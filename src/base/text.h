// Text helpers shared by every layer: printf into a std::string (messages and
// listings keep their C formats, byte for byte), and text taken from an image
// made safe to show.
#pragma once

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

std::string format(const char* fmt, ...) KITRA_PRINTF_FORMAT(1, 2);

// Text taken from an image is data: an ESC byte could drive the terminal, so
// it is shown as "?".
std::string printable(std::string_view image_text);

}  // namespace kitra::base
