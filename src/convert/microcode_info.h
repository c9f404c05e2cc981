// The table of CPU microcode updates that ends the listing: the updates in the
// bootblock's microcode area, in the CPU microcode module and in the
// non-compressed microcode area, each recognised by its own checksum as an
// Intel update or an AMD patch.
#pragma once

#include "base/bytes.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::convert {

// Prints the title, the table head and one entry per update. The microcode
// modules are unpacked in memory; a module the codec cannot read is reported
// by it and adds no entry (a damaged header sum stops the run, as it does
// wherever a module is unpacked).
void print_microcode_table(base::ByteView image, const image::Layout& layout, platform::Console& con);

}  // namespace kitra::convert
