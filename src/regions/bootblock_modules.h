// Components kept in fixed areas of the bootblock: the on-board VGA ROM, the
// nVidia memory module and PMU ROM. Here: their lines of the listing.
#pragma once

#include <string>

#include "base/bytes.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::regions {

// The "(BB) Compress BT-VGA" row of the module list, for a VGA ROM packed
// into the "*BT-VGA*" area.
void print_bootblock_vga_row(base::ByteView image, const image::Layout& layout, platform::Console& con);

// After the totals: the on-board VGA line, then the nVidia memory module and
// PMU version lines (none yet: these components are not handled by this
// version).
void print_bootblock_lines(base::ByteView image, const image::Layout& layout, platform::Console& con);

}  // namespace kitra::regions
