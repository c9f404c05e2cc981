// The /D listing: every module of the compressed area with its kind, sizes
// and stored name, the special areas, the space report, and the sections the
// other parts of the image contribute (hole lines, bootblock lines, the
// bootblock arena, the microcode table). It changes nothing in the image.
#pragma once

#include <string>

#include "base/bytes.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::listing {

void print_listing(base::ByteView image, const image::Layout& layout, const std::string& image_name,
                   platform::Console& con);

}  // namespace kitra::listing
