// A file for a stream that a test writes and reads back (what a console
// printed): read and written in binary, removed when it is closed.
#pragma once

#include <cstdio>
#include <string>

namespace kitra::testing {

std::FILE* scratch_file();

// Everything written to `file` so far; writing goes on at its end.
inline std::string scratch_contents(std::FILE* file) {
    std::fflush(file);
    const long end = std::ftell(file);
    std::string text(end > 0 ? static_cast<std::size_t>(end) : 0, '\0');
    std::rewind(file);
    const std::size_t got = std::fread(text.data(), 1, text.size(), file);
    text.resize(got);
    std::fseek(file, 0, SEEK_END);
    return text;
}

}  // namespace kitra::testing
