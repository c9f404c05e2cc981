// The bootblock arena: a run of modules in the bootblock, after the 16-byte
// line that begins "BTKITRAARENA" (its bytes 12-13 hold the arena's length).
// Here: the arena's section of the listing.
#pragma once

#include <string>

#include "base/bytes.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::regions {

// "Bootblock component": every module of the arena, with its bootblock name.
void print_arena_rows(base::ByteView image, const image::Layout& layout, const std::string& image_name,
                      platform::Console& con);

}  // namespace kitra::regions
