// What every run that reads or changes an image shares, legacy command
// lines and new commands alike: holding the image for a run that will change
// it, reading it with its layout, and finishing and committing the changes.
#pragma once

#include <optional>
#include <string>
#include <variant>

#include "app/run.h"
#include "cli/run_state.h"
#include "image/image_file.h"
#include "image/layout.h"
#include "platform/console.h"
#include "platform/files.h"

namespace kitra::app {

// A run that will change the image holds it from opening to commit, so that
// runs on one image at the same moment (a parallel build) take turns, each
// working on the image the one before left: no change is lost. Returns the
// exit status when the run cannot go on (its message printed on `con`).
std::optional<int> hold_image(const std::string& path, bool error_mode, platform::Console& con,
                              const RunOptions& options, platform::FileLock& lock);

// Why a run that will change the image at `path` cannot: it is no image
// file, or the user may not write it (the open for update fails, as it
// always did). Returns the exit status, its message printed on `con`.
std::optional<int> refused_image(const std::string& path, bool error_mode, platform::Console& con);
std::optional<int> refused_write(const std::string& path, bool error_mode, platform::Console& con);

// The image at `path` with its layout, or the text that says why it cannot
// be used (the legacy texts; "file not found" has no line end).
struct OpenedImage {
    image::Image image;
    image::Layout layout;
};
std::variant<OpenedImage, std::string> read_image(const std::string& path, std::uint32_t top_hole_address = 0,
                                                  bool top_hole_option = false);

// Whether the run changed the image or did something finishing must follow
// (a release, a placed or released special area).
bool needs_finishing(const cli::Run& run);

// Says that the image at `path` has other names (hard links), which keep
// the old contents when it is written back, when `links` is more than 1.
void note_other_links(const std::string& path, std::uint64_t links, platform::Console& con);

// Writes the image back when the run changed it: 0, or 1 with the reason on
// `con` (the image is then left as it was).
int commit_image(cli::Run& run, platform::Console& con, const RunOptions& options);

}  // namespace kitra::app
