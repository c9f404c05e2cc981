// What the Windows halves of the platform layer share: <windows.h> and the
// turns between the tool's UTF-8 and the API's UTF-16. Included only by the
// *_windows.cpp files.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <string>
#include <string_view>

#include "platform/utf16.h"

namespace kitra::platform {

// wchar_t is UTF-16 on Windows.
inline std::wstring wide(std::string_view utf8) {
    const std::u16string text = to_utf16(utf8);
    return {text.begin(), text.end()};
}

inline std::string narrow(std::wstring_view utf16) {
    return to_utf8(std::u16string(utf16.begin(), utf16.end()));
}

// The system's text for an error code, in the form strerror gives on POSIX
// systems: one line, no closing full stop ("Access is denied").
inline std::string system_message(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length != 0 ? narrow(std::wstring_view(text, length)) : std::string{};
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                                message.back() == '.'))
        message.pop_back();
    if (message.empty()) message = "Windows error " + std::to_string(error);
    return message;
}

}  // namespace kitra::platform
