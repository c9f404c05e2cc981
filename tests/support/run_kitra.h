// Runs the built kitra binary in a directory, as a user or a build script
// would, and captures what it printed and its exit status.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
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

// A fresh directory under /tmp, removed with everything in it at the end.
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
