// The image of one run: read whole when it is opened, edited in memory by
// every operation, and written back once at the end of a run that changed it
// (a new file beside it, flushed, renamed over it: never a half-written image).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "base/bytes.h"
#include "image/editable.h"
#include "image/journal.h"
#include "platform/files.h"

namespace kitra::image {

class Image;

// Writes the image back when the run changed it, or when it was made anew
// and its file holds other bytes or is not there yet. Returns an empty
// string on success (or when there was nothing to write), else the reason
// the write failed; the file on disk is then untouched.
std::string commit(Image& image, const platform::ReplaceOptions& options = {});

// The image is held once: its bytes are read through bytes() and written
// only through an Editable (image/editable.h), which journals every range
// before it is written. The journal, not a copy of the image, undoes a
// failed item and tells whether the run changed the image.
class Image {
  public:
    // What the image's file holds when the run starts: the image as read,
    // or (an image made anew from other files) other bytes, or no file yet.
    enum class OnDisk : std::uint8_t { kSame, kOther, kMissing };

    Image(std::string path, base::Bytes bytes, OnDisk on_disk = OnDisk::kSame)
        : path_(std::move(path)), bytes_(std::move(bytes)), on_disk_(on_disk) {}

    const std::string& path() const { return path_; }
    // The image as the run has made it so far.
    const base::Bytes& bytes() const { return bytes_; }
    std::uint32_t length() const { return static_cast<std::uint32_t>(bytes_.size()); }

    // Whether the image differs from what was read (or last committed):
    // only the ranges the run wrote are compared, and a range written back
    // with the bytes it held is no change.
    bool changed() const { return journal_.differs(bytes_); }
    // Whether the file must be written at the end: the run changed the
    // image, or it was made anew and its file does not hold it yet. (Only
    // the run's own changes call for finishing: an image made as it was
    // unpacked is written as it is.)
    bool differs_from_file() const { return on_disk_ != OnDisk::kSame || changed(); }

    // An item starts: what the items before it did stays for good.
    void keep_changes() { journal_.keep(); }
    // roll_back(mark()) undoes every write since, newest first.
    std::size_t mark() const { return journal_.mark(); }
    void roll_back(std::size_t mark) { journal_.roll_back(bytes_, mark); }

  private:
    friend class Editable;
    friend std::string commit(Image& image, const platform::ReplaceOptions& options);

    std::string path_;
    base::Bytes bytes_;
    OnDisk on_disk_ = OnDisk::kSame;
    Journal journal_;
};

// Images shorter than the base window cannot hold a bootblock.
constexpr std::uint64_t kMinimumImageSize = 0x20000;
// An image is the content of a flash part: the largest are tens of MiB.
// Anything much larger is no image, and is refused before it is read.
constexpr std::uint64_t kMaximumImageSize = std::uint64_t{256} << 20;

enum class OpenFailure {
    NotFound,  // also an image the user may not write, in a run that would change it
    TooSmall,
    TooLarge,
    // An image is a regular file: anything else is refused before it is
    // read (a pipe without a writer would hold the run up, a device would
    // be read without end, and neither can be replaced by a file).
    IsFolder,
    IsPipe,
    IsDevice,
    IsSocket,
    NotRegular,
};

// Why the file `path` cannot be an image, from what it is and its size,
// without reading it; std::nullopt when it may be one.
std::optional<OpenFailure> check_image_file(const std::string& path);

// The image at `path`, or why it cannot be used.
std::variant<Image, OpenFailure> open_image(const std::string& path);

// The text that reports an open failure ("%s file not found" has no line end).
std::string open_failure_text(const std::string& path, OpenFailure failure);

}  // namespace kitra::image
