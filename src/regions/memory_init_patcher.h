// The memory-init patcher. The bootblock calls the memory-init module
// through "MEMINITENTRYPOINT" records (the entry-point address, and a code
// segment 8 bytes after it), reaches the bootext code through
// "BOOTEXTROMENTRYPOINT" (its segment), and runs it under the descriptors of
// a "BootGDTtable", whose bases follow that segment. Placing the module
// writes its entry point there and moves the segment and the bases to the
// bootblock segment G of "*BBSS*": in the bootext (main form, a module of
// the compressed area) or, for a module of the bootblock arena, in the
// bootblock, which runs at segment F000.
//
// Without "*BBSS*" there is no G: the entry points are written, the writes
// of G are not. Every byte written inside the bootblock checksum region
// keeps its checksum byte right.
#pragma once

#include <cstdint>

#include "base/bytes.h"
#include "image/editable.h"

namespace kitra::regions {

enum class MemoryInitForm : std::uint8_t { kMain, kBootblock };

void patch_memory_init(const image::Editable& image, std::uint32_t entry_point, MemoryInitForm form);

}  // namespace kitra::regions
