// The table of CPU microcode updates that ends the listing: the bootblock's
// microcode area, the CPU microcode module, the non-compressed area.
#pragma once

#include <optional>

#include "image/bytes.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::convert {

// `cpu_module` is the unpacked contents of the CPU microcode module the
// listing walked last, if any. Prints nothing yet: the table is not part of
// this version.
void print_microcode_table(image::ByteView image, const image::Layout& layout,
                           const std::optional<image::Bytes>& cpu_module, platform::Console& con);

}  // namespace kitra::convert
