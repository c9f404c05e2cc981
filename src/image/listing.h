// The /D listing: every module of the compressed area with its kind, sizes
// and stored name, the special areas, the space report, the bootblock arena's
// modules. It changes nothing in the image.
#pragma once

#include <string>

#include "image/bytes.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::image {

void print_listing(ByteView image, const Layout& layout, const std::string& image_name,
                   platform::Console& con);

// "%01X%04Xh(%.2fK)": the high and low 16 bits in hexadecimal, then
// kilobytes in single precision, the form every size of the listing takes.
std::string size_field(std::uint32_t value);

}  // namespace kitra::image
