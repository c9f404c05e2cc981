// The inspect layer's commands: the image as data (--json), for people
// (--info), checked (--verify) and compared with another (--diff). All of
// them only read the images.
#pragma once

#include <span>

#include "cli/new_command.h"

namespace kitra::inspect {

std::span<const cli::NewCommand> commands();

}  // namespace kitra::inspect
