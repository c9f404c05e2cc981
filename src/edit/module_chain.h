// The module chain of the compressed area as the editing operations see it:
// the limit below which modules must end, and the removal of a module with
// the chain closed up behind it.
#pragma once

#include <cstdint>

#include "cli/run_state.h"
#include "image/layout.h"

namespace kitra::edit {

// The lower of the microcode area's start and the top hole's start, counting
// only those present; the compressed area's end when neither is. Releases
// and compaction close the chain up to here, so a special area below the
// compressed area's end keeps its data.
std::uint32_t module_limit(const image::Layout& layout);

// Where the walks over the compressed area stop looking: 64 bytes short of
// the compressed area's end, or the top hole's start when there is one.
std::uint32_t walk_end(const image::Layout& layout);

// Removes the module of `length` bytes at `pos`: every module behind it moves
// down to close the gap (stopping at the erased packed size, a position that
// is no module, or `limit`), and the space from the new end of the chain up
// to `limit` becomes 0xFF.
void remove_module(cli::Run& run, std::uint64_t pos, std::uint64_t length, std::uint64_t limit);

}  // namespace kitra::edit
