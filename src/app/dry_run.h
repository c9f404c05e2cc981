// The dry run: `kitra IMAGE --dry-run ITEM... [--json]` runs a legacy
// command line on the image in memory, prints exactly what the real run
// would print, and writes nothing: not the image, not an extracted file,
// not a prepared built-in input. Every file a run writes besides its image
// goes through the run's one writer (cli::Run::write_file); the dry run puts
// one there that only notes what would be written and where, and it never
// commits. Then it says what the run would have done: each item's result
// and what it did to the modules and to other bytes, what finishing would
// write, the free space before and after, the files, and whether the image
// would be written back. It takes no lock; its exit status is the real
// run's.
#pragma once

#include <span>

#include "cli/new_command.h"

namespace kitra::app {

std::span<const cli::NewCommand> dry_run_commands();

}  // namespace kitra::app
