// Text between the tool and the Windows API. The tool carries every text
// (arguments, file names, messages) as UTF-8 bytes, the same bytes on every
// system, so that output written to a file or a pipe is the same on Linux
// and on Windows; the Windows API takes and gives UTF-16. File names pass
// through the UTF-16 ("W") functions, so a name typed with characters of any
// code page names the same file.
#pragma once

#include <string>
#include <string_view>

namespace kitra::platform {

// UTF-8 to UTF-16. A byte that does not belong to a well-formed UTF-8
// sequence (a name taken from an image in an old code page) stands for the
// character of the same number (Latin-1), so every byte string has a name.
std::u16string to_utf16(std::string_view utf8);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string to_utf8(std::u16string_view utf16);

}  // namespace kitra::platform
