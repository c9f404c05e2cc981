// The table of CPU microcode updates that ends the listing: the updates in the
// bootblock's microcode area, in the CPU microcode module and in the
// non-compressed microcode area, each recognised by its own checksum as an
// Intel update or an AMD patch.
#pragma once

#include <vector>

#include "base/bytes.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::convert {

// The whole 2048-byte records of `area`, in order: how the bootblock area
// and a microcode module are read, whatever the records' total sizes say.
std::vector<base::ByteView> fixed_microcode_records(base::ByteView area);

// The records of the non-compressed area outside the bridge layout: each as
// long as its total size says (0 for 2048 bytes), up to a total size of
// 0xFFFFFFFF or a record that would reach past the area.
std::vector<base::ByteView> sized_microcode_records(base::ByteView area);

// Prints the title, the table head and one entry per update. The microcode
// modules are unpacked in memory; a module the codec cannot read is reported
// by it and adds no entry (a damaged header sum stops the run, as it does
// wherever a module is unpacked).
void print_microcode_table(base::ByteView image, const image::Layout& layout, platform::Console& con);

}  // namespace kitra::convert
