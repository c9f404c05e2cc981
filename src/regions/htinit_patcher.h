// The HTINIT patcher: the bootblock calls the HT init module through the
// 32-bit address right after the first "HTINITENTRYPOINT" of the base
// window (positions below window offset 0x1B000); placing the module writes
// its entry point there. A byte written inside the bootblock checksum
// region keeps its checksum byte right.
#pragma once

#include <cstdint>

#include "base/bytes.h"
#include "image/editable.h"

namespace kitra::regions {

void patch_htinit(const image::Editable& image, std::uint32_t entry_point);

}  // namespace kitra::regions
