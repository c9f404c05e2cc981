// The bootblock arena: a run of modules in the bootblock, after the 16-byte
// line that begins "BTKITRAARENA" (its bytes 12-13 hold the arena's length).
// Here: finding and walking the arena, and the arena's section of the
// listing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "codec/module_header.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::regions {

struct Arena {
    std::uint64_t start = 0;  // the line after the marker's line
    std::uint64_t end = 0;    // start + the length in the marker's line, at most the image's end
};

// The arena of the "BTKITRAARENA" line found by the line search from the
// base window; none when the marker is absent.
std::optional<Arena> find_arena(base::ByteView image);

// The arena walk: the modules from the arena's start, one after another. It
// stops at the first slot whose bytes 2-4 are not "-lh" (the free slot), or
// after a module whose successor (slot + H + packed size + 3) reaches arena
// end - 64: no module may start there, so the arena is full.
struct ArenaWalk {
    std::vector<std::uint64_t> modules;  // their offsets, in order
    std::uint64_t free_slot = 0;         // where the walk stopped
    bool full = false;                   // it stopped at arena end - 64
};
ArenaWalk walk_arena(base::ByteView image, const Arena& arena);

// The first module of the walk whose type ID is `type_id`; none when there
// is none, or when that module does not lie whole inside the image.
std::optional<codec::ModuleInfo> find_in_arena(base::ByteView image, const Arena& arena,
                                               std::uint16_t type_id);

// The arena query: whether the arena holds a module of `type_id`.
bool arena_holds(base::ByteView image, std::uint16_t type_id);

// "Bootblock component": every module of the arena, with its bootblock name.
void print_arena_rows(base::ByteView image, const image::Layout& layout, const std::string& image_name,
                      platform::Console& con);

}  // namespace kitra::regions
