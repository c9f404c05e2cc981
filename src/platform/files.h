// The file system as the tool uses it: whole files in, whole files out, and
// the atomic replacement of the image (a new file beside it, flushed, then
// renamed over it), so that a run that is killed or fails to write leaves the
// image byte for byte as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kitra::platform {

// The whole file, or std::nullopt when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> read_file(const std::string& path);

bool file_exists(const std::string& path);

// Creates or truncates `path` with `bytes`. Returns false on any failure.
bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes);

struct ReplaceOptions {
    // Tests only: the write fails after this many bytes, as a full disk would.
    std::optional<std::size_t> fail_after_bytes;
};

// Replaces the file at `path` (a symbolic link is followed: the link stays
// and its target is replaced) with `bytes`, keeping its permission bits.
// Returns an empty string on success, else the reason; on failure the file
// is untouched and no temporary file is left behind.
std::string replace_file_atomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                                    const ReplaceOptions& options = {});

}  // namespace kitra::platform
