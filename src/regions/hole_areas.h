// Hole areas: fixed places of the image that take a file byte for byte,
// listed by a "*HOLE*" directory and a table of what each holds.
#pragma once

#include "base/bytes.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::regions {

// The hole lines of the listing. Lists nothing yet: hole areas are not
// handled by this version.
void print_hole_lines(base::ByteView image, const image::Layout& layout, platform::Console& con);

}  // namespace kitra::regions
