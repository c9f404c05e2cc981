// Helpers for the codec tests: deterministic inputs of the kinds firmware
// images hold, a console that captures its text, temporary directories, and
// running the reference encoder model and the Debian LZH programs.
#pragma once

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "codec/lh5_format.h"
#include "platform/console.h"
#include "support/captured_console.h"
#include "support/rng.h"
#include "support/run_kitra.h"

namespace kitra::codec::test {

// Standard output and the error stream captured separately.
using Captured = testing::CapturedConsole;

using kitra::testing::Rng;

inline base::Bytes random_bytes(std::size_t n, std::uint64_t seed) {
    Rng r(seed);
    base::Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(r.next());
    return b;
}

// x86-like code: common opcodes with small operands, calls with random
// targets, zero padding.
inline base::Bytes code_like(std::size_t n, std::uint64_t seed) {
    Rng r(seed);
    base::Bytes b;
    while (b.size() < n) {
        const unsigned k = r.below(10);
        if (k < 3) {
            b.insert(b.end(), {0x8B, 0x45, static_cast<std::uint8_t>(r.below(32) * 4), 0x89, 0x46,
                               static_cast<std::uint8_t>(r.below(16))});
        } else if (k < 5) {
            b.push_back(0xE8);
            for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(r.next()));
        } else if (k < 6) {
            b.insert(b.end(), {0x00, 0x00, 0x00, 0x00});
        } else {
            b.push_back(static_cast<std::uint8_t>(r.next()));
        }
    }
    b.resize(n);
    return b;
}

// English-like text from a small vocabulary.
inline base::Bytes text_like(std::size_t n, std::uint64_t seed) {
    static const char* const kWords[] = {"the ",   "module ", "header ", "image ", "of ",     "a ",
                                         "block ", "table ",  "is ",     "and ",   "window ", "match ",
                                         "bios ",  "rom\n",   "code, ",  "data. "};
    Rng r(seed);
    base::Bytes b;
    while (b.size() < n) {
        const char* w = kWords[r.below(16)];
        while (*w) b.push_back(static_cast<std::uint8_t>(*w++));
    }
    b.resize(n);
    return b;
}

// A bitmap: long runs of zero bytes between short runs and noise.
inline base::Bytes bitmap_like(std::size_t n, std::uint64_t seed) {
    Rng r(seed);
    base::Bytes b;
    while (b.size() < n) {
        if (r.below(2) == 0) {
            b.insert(b.end(), 1 + r.below(2000), 0);
        } else {
            b.insert(b.end(), 1 + r.below(50), static_cast<std::uint8_t>(r.next()));
            for (unsigned i = r.below(20); i > 0; --i) b.push_back(static_cast<std::uint8_t>(r.next()));
        }
    }
    b.resize(n);
    return b;
}

using testing::TempDir;

inline void write_file(const std::filesystem::path& p, base::ByteView bytes) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline base::Bytes read_file(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return base::Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline std::string quoted(const std::filesystem::path& p) {
    std::string text = "'";
    text.append(p.string()).push_back('\'');
    return text;
}

// Runs a shell command; returns its exit status (-1 when it did not exit).
inline int run(const std::string& command) {
    const int status = std::system(command.c_str());
#ifdef _WIN32
    return status;
#else
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
#endif
}

}  // namespace kitra::codec::test
