// The module chain of the compressed area as the editing operations change
// it: the removal of a module with the chain closed up behind it, and the
// chain that is broken (a position that is neither a module nor the erased
// free end), which no operation closes up or adds to.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/bytes.h"
#include "cli/run_state.h"

namespace kitra::edit {

// The first position from `from` on, below `limit`, that holds neither a
// module lying whole below `limit` nor the free end (a packed size read as
// the erased 0xFFFFFFFF, or erased bytes up to `limit`); none when the
// chain ends well. Vendor data behind a gap is such a position: closing the
// chain up to `limit` would erase it.
std::optional<std::uint64_t> chain_break(base::ByteView image, std::uint64_t from, std::uint64_t limit);

// Prints "The module chain of %s is broken at offset %llXh: " with the image
// name and `pos`, then `consequence` and a line end.
void report_broken_chain(cli::Run& run, std::uint64_t pos, std::string_view consequence);

// Removes the module of `length` bytes at `pos`: every module behind it
// moves down to close the gap (stopping at the erased packed size or
// `limit`), a PE32 or memory-init module among them made again for its new
// place (regions::compact), and the space from the new end of the chain up
// to `limit` becomes 0xFF.
//
// When such a module cannot be made again, the removal is refused with a
// message and nothing changes. So is a module at or past `limit` (a chain
// run on into a special area), and a chain broken behind the module, which
// is reported with `consequence` (what the refusal means for the item).
// Returns whether the module was removed.
bool remove_module(cli::Run& run, std::uint64_t pos, std::uint64_t length, std::uint64_t limit,
                   std::string_view consequence);

}  // namespace kitra::edit
