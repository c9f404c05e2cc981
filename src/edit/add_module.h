// Adding and replacing modules: a component file becomes a module, replaces
// the module of its kind or takes a free slot of its family, and is placed at
// the free end of the compressed area (or in its special area).
#pragma once

#include "cli/item.h"
#include "cli/run_state.h"

namespace kitra::edit {

cli::ItemResult add_module(cli::Run& run, const cli::Item& item);

}  // namespace kitra::edit
