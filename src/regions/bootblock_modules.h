// Components kept in fixed areas of the bootblock: the on-board VGA ROM, the
// nVidia memory module and the PMU ROM. The BIOS build marks each area with a
// line (regions/bootblock_records.h) that gives its place and size; the
// component is written there and nothing else of the image moves. Here:
// placing them, and their lines of the listing.
#pragma once

#include "base/bytes.h"
#include "cli/item.h"
#include "cli/run_state.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::regions {

// The item's component (read whole) into the bootblock area of its kind.
// A failure leaves the image as it was; a file that is no VGA ROM also ends
// the item loop.
cli::ItemResult add_to_bootblock(cli::Run& run, const cli::Item& item);

// The "(BB) Compress BT-VGA" row of the module list, for a VGA ROM packed
// into the "*BT-VGA*" area.
void print_bootblock_vga_row(base::ByteView image, const image::Layout& layout, platform::Console& con);

// After the totals: the on-board VGA line, then the nVidia memory module
// line and the PMU version line.
void print_bootblock_lines(base::ByteView image, const image::Layout& layout, platform::Console& con);

}  // namespace kitra::regions
