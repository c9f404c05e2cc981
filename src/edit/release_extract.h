// Release and extract: the module of an item's kind is removed from the
// compressed area (the chain closed up behind it) or written to a file.
#pragma once

#include "cli/item.h"
#include "cli/run_state.h"

namespace kitra::edit {

cli::ItemResult release_or_extract(cli::Run& run, const cli::Item& item);

}  // namespace kitra::edit
