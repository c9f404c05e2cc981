// Placement: whether a prepared module fits below the module limit, and
// writing it; the report of lack of room shared by every placement.
#pragma once

#include <cstdint>

#include "base/bytes.h"
#include "cli/run_state.h"

namespace kitra::edit {

// Prints "%s have not enough space for adding ROM. (Over %04Xh bytes)" and
// two line ends; the excess is printed as the unsigned 32-bit value it is.
void report_no_space(cli::Run& run, std::uint32_t excess);

// Writes `module` (the bytes to copy) at `pos`, the free end of the chain,
// when it fits below the module limit; otherwise reports the excess.
// Returns whether it was written.
bool place_module(cli::Run& run, std::uint64_t pos, base::ByteView module);

}  // namespace kitra::edit
