// The module chain of the compressed area as the editing operations change
// it: the removal of a module with the chain closed up behind it.
#pragma once

#include <cstdint>

#include "cli/run_state.h"

namespace kitra::edit {

// Removes the module of `length` bytes at `pos`: every module behind it
// moves down to close the gap (stopping at the erased packed size, a
// position that is no module, or `limit`), a PE32 or memory-init module
// among them made again for its new place (regions::compact), and the space
// from the new end of the chain up to `limit` becomes 0xFF.
//
// When such a module cannot be made again, the removal is refused with a
// message and nothing changes. So is a module at or past `limit` (a chain
// run on into a special area). Returns whether the module was removed.
bool remove_module(cli::Run& run, std::uint64_t pos, std::uint64_t length, std::uint64_t limit);

}  // namespace kitra::edit
