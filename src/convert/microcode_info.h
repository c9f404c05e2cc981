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

// The bootblock's microcode area, as much of its 128 KiB as the image
// holds; empty without a bootblock record. Its records are 2048 bytes each,
// up to the first that begins erased (0xFF) or blank (0x00).
base::ByteView bootblock_microcode_area(base::ByteView image, const image::Layout& layout);

// A bridge-ID board: its "*BS1" (among the 0x6000 bytes from image length -
// 0x16000, on a 4-byte step) has the bridge value in the low three bits of
// its byte 11. Its non-compressed area holds records shown by bridge IDs,
// and its bootblock area is not read.
bool is_bridge_board(base::ByteView image);

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
