// The image as a folder: `--unpack` writes an image as a folder of files
// with a manifest, `--pack` makes the image from such a folder again, and
// `--body` and `--body-extract` replace and write the system BIOS body.
#pragma once

#include <span>

#include "cli/new_command.h"

namespace kitra::folder {

std::span<const cli::NewCommand> commands();

}  // namespace kitra::folder
