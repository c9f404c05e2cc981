// Text helpers shared by every layer: printf into a std::string (messages and
// listings keep their C formats, byte for byte), and text taken from an image
// made safe to show.
#pragma once

#include <string>
#include <string_view>

namespace kitra::base {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Text taken from an image is data: an ESC byte could drive the terminal, so
// it is shown as "?".
std::string printable(std::string_view image_text);

}  // namespace kitra::base
