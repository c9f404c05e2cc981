// Crafted images of the layouts the sample lacks, shared by the tests that
// read whole images (the inventory's documents, the folder's round trips).
#pragma once

#include "base/bytes.h"

namespace kitra::testing {

// 256 KiB: system BIOS, an ISA ROM placed at segment C800, a logo that may
// carry a position; the bootblock's VGA ROM area with a two-image ROM, the
// nVidia areas, an arena, a hole directory with a ROM in hole 0 and a record
// larger than hole 1, and a Boot On Internet block.
base::Bytes bootblock_areas_image();

// 256 KiB without a bootblock record, its chain from offset 0 (the first
// module is no system BIOS) and its system BIOS in the base window: a module
// of an unknown method, one whose CRC does not hold, one whose stream is
// malformed, and one whose name is not plain text.
base::Bytes odd_modules_image();

// A module packed quietly ("-lh5-" when that is smaller).
base::Bytes packed(const base::Bytes& data, const char* name, const char* type);

// A stored module whose header bytes are then changed as `patch` says, the
// header sum made right again (or not, with `keep_sum`).
base::Bytes patched(base::Bytes module, std::uint64_t at, const base::Bytes& bytes, bool keep_sum = false);

// A DOS executable: a 2-paragraph (32-byte) header in front of `body`.
base::Bytes executable_of(const base::Bytes& body);

}  // namespace kitra::testing
