// The image of one run: read whole when it is opened, edited in memory by
// every operation, and written back once at the end of a run that changed it
// (a new file beside it, flushed, renamed over it: never a half-written image).
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "base/bytes.h"
#include "platform/files.h"

namespace kitra::image {

struct Image {
    std::string path;
    base::Bytes bytes;     // the image as the run has made it so far
    base::Bytes original;  // the image as it was read
    std::uint32_t length() const { return static_cast<std::uint32_t>(bytes.size()); }
    bool changed() const { return bytes != original; }
};

// Images shorter than the base window cannot hold a bootblock.
constexpr std::uint64_t kMinimumImageSize = 0x20000;
// File offsets are 32-bit; an image is the content of a flash part below 4 GB.
constexpr std::uint64_t kMaximumImageSize = 0xFFFFFFFF;

enum class OpenFailure { NotFound, TooSmall, TooLarge };

// The image at `path`, or why it cannot be used.
std::variant<Image, OpenFailure> open_image(const std::string& path);

// The text that reports an open failure ("%s file not found" has no line end).
std::string open_failure_text(const std::string& path, OpenFailure failure);

// Writes the image back when the run changed it. Returns an empty string on
// success (or when nothing changed), else the reason the write failed; the
// file on disk is then untouched.
std::string commit(Image& image, const platform::ReplaceOptions& options = {});

}  // namespace kitra::image
