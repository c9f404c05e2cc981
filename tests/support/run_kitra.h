// Runs the built kitra binary in a directory, as a user or a build script
// would, and captures what it printed and its exit status.
#pragma once

#ifndef _WIN32
#include <sys/types.h>
#endif

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kitra::testing {

struct Outcome {
    std::string out;
    std::string err;
    int status = -1;
};

// `args` excludes the program path (kitra is started as "kitra"). Standard
// input is `input` (empty: end of input at once). `last` sets the variable
// _last; std::nullopt leaves it unset.
Outcome run_kitra(const std::vector<std::string>& args, const std::filesystem::path& dir,
                  const std::string& input = "", const std::optional<std::string>& last = std::nullopt);

struct TempDir;

// A run of kitra started in the background, for tests of runs at the same
// moment and of runs ended from outside.
struct Started {
#ifdef _WIN32
    std::shared_ptr<void> process;  // the process handle
#else
    pid_t pid = -1;
#endif
    std::shared_ptr<TempDir> io;  // its standard streams
};

struct Launch {
    std::string input;                             // standard input
    std::optional<std::string> last;               // the variable _last
    std::optional<std::uint64_t> file_size_limit;  // bytes, as `ulimit -f` sets it (POSIX only)
    // The user and group to run as, with no other groups (POSIX only; the
    // test must run as root).
    std::optional<std::pair<std::uint32_t, std::uint32_t>> user;
};

Started start_kitra(const std::vector<std::string>& args, const std::filesystem::path& dir,
                    const Launch& launch = {});
// Waits for the run to end; a run ended by a signal has the status 128 + its number.
// (On Windows the status is the process's exit code.)
Outcome finish_kitra(const Started& run);

// A fresh directory in the system's temporary folder, removed with everything
// in it at the end.
struct TempDir {
    std::filesystem::path path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return (path / name).string(); }
    // Names of the files in the directory, sorted.
    std::vector<std::string> files() const;
};

}  // namespace kitra::testing
