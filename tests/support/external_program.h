// Tests that cross-check with a program from Debian (lhasa, jlha, python3)
// skip with a one-line reason where it is missing, so that the test command
// passes on a machine with only cmake, g++ and GoogleTest. CI installs the
// programs and sets KITRA_REQUIRE_TOOLS=1, under which a missing program
// fails the test instead: there every cross-check runs.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace kitra::testing {

inline bool tools_required() {
    const char* value = std::getenv("KITRA_REQUIRE_TOOLS");
    return value != nullptr && std::string(value) == "1";
}

// The Windows build (run under wine) cannot start Linux programs: there
// these tests always skip, whatever KITRA_REQUIRE_TOOLS says; the Linux
// build runs them.
constexpr bool kLinuxProgramsRun =
#ifdef _WIN32
    false;
#else
    true;
#endif

// Why a test cannot run without `program`, or std::nullopt when it is there.
inline std::optional<std::string> missing_program(const std::string& program, const std::string& package) {
    if (!kLinuxProgramsRun)
        return program + " is a Linux program (Debian package " + package +
               "); the Windows build does not run it";
    if (std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0) return std::nullopt;
    return program + " is not installed (Debian package " + package + ")";
}

}  // namespace kitra::testing

// At the start of a test body: skips the test (or fails it, with
// KITRA_REQUIRE_TOOLS=1) when `program` is missing.
#define KITRA_NEEDS_PROGRAM(program, package)                                                 \
    do {                                                                                      \
        if (const auto kitra_missing = ::kitra::testing::missing_program(program, package)) { \
            if (::kitra::testing::kLinuxProgramsRun && ::kitra::testing::tools_required())    \
                FAIL() << *kitra_missing;                                                     \
            GTEST_SKIP() << *kitra_missing;                                                   \
        }                                                                                     \
    } while (false)
