// The microcode commands: `--microcode` lists the updates of an image,
// `--microcode-add` and `--microcode-remove` change them one at a time.
#pragma once

#include <span>

#include "cli/new_command.h"

namespace kitra::microcode {

std::span<const cli::NewCommand> commands();

}  // namespace kitra::microcode
