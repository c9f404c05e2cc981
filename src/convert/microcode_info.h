// The table of CPU microcode updates that ends the listing: the bootblock's
// microcode area, the CPU microcode module, the non-compressed area.
#pragma once

#include "base/bytes.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::convert {

// Prints nothing yet: the table is not part of this version (and nothing is
// unpacked for it).
void print_microcode_table(base::ByteView image, const image::Layout& layout, platform::Console& con);

}  // namespace kitra::convert
