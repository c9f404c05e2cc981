// Components kept in the bootblock: the on-board VGA ROM, the nVidia memory
// module and PMU ROM, the modules of the bootblock arena.
#pragma once

#include "image/bytes.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::regions {

// The nVidia memory module and PMU version lines of the listing. Lists
// nothing yet: these components are not handled by this version.
void print_nvidia_lines(image::ByteView image, const image::Layout& layout, platform::Console& con);

}  // namespace kitra::regions
