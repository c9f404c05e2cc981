// Placing a memory-sizing or PE32 module in the bootblock arena: stored,
// put in the arena's first free slot (a module of its own type is removed
// first and the arena closed up behind it), its data aligned, rebased to the
// ROM address they lie at, and referenced by the bootblock.
#pragma once

#include "cli/item.h"
#include "cli/run_state.h"

namespace kitra::regions {

// The item's component (read whole) as a module of the arena. Replacing a
// module of the same type prints the CAUTION line and is the item's error,
// but the new module stays; any failure leaves the image as it was.
cli::ItemResult add_to_arena(cli::Run& run, const cli::Item& item);

}  // namespace kitra::regions
