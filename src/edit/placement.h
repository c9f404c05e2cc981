// Placement: whether a prepared module fits below the module limit, and
// writing it; the report of lack of room shared by every placement.
#pragma once

#include <cstdint>
#include <functional>

#include "base/bytes.h"
#include "cli/catalogue.h"
#include "cli/run_state.h"

namespace kitra::edit {

// Prints "%s have not enough space for adding ROM. (Over %04Xh bytes)" and
// two line ends; the excess is printed as the unsigned 32-bit value it is.
void report_no_space(cli::Run& run, std::uint32_t excess);

// The bytes a prepared module takes when it is written at a position: its
// size, or for the kinds whose data are aligned, its size with the pad it
// needs there.
using SizeAt = std::function<std::uint64_t(std::uint64_t pos)>;

// Writes `module` (the bytes to copy) at `pos`, the free end of the chain,
// when it fits below the module limit; otherwise reports the excess, and
// advises what to release when the run asks for it (`size_at` tells the
// module's size at another position; empty: the size of `module`).
// Returns whether it was written.
bool place_module(cli::Run& run, std::uint64_t pos, base::ByteView module, const SizeAt& size_at = {});

// A PE32 or memory-init module of the compressed area (`module`: the stored
// module as packed, its data ending in the byte kept for the image
// checksum) at `pos`: made for its place with its pad, relocation and image
// checksum, checked for room with the pad counted, written whole, the PE32
// checksum flag set, and the bootblock's references patched. Returns
// whether it was placed; when a FixupDescriptor entry refuses the patch
// after the module was written, the item's undo puts the image back.
bool place_position_dependent(cli::Run& run, std::uint64_t pos, base::ByteView module, const cli::Kind& kind);

}  // namespace kitra::edit
