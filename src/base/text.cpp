#include "base/text.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace kitra::base {

std::string format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string text;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), fmt, args);
        text.assign(buffer.data(), static_cast<std::size_t>(needed));
    }
    va_end(args);
    return text;
}

bool is_control_byte(unsigned char byte) {
    return byte < 0x20 || (byte >= 0x7F && byte <= 0x9F);
}

std::string printable(std::string_view image_text) {
    std::string text(image_text);
    for (char& c : text)
        if (is_control_byte(static_cast<unsigned char>(c))) c = '?';
    return text;
}

}  // namespace kitra::base
