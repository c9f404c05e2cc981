// The signature a new firmware bitmap takes from the image it goes into: a
// board's firmware shows only bitmaps that carry its own, and an image says
// which one that is through the bitmaps it already holds.
#pragma once

#include <cstdint>

#include "base/bytes.h"
#include "convert/firmware_bitmap.h"
#include "image/layout.h"

namespace kitra::convert {

// The signature of the firmware bitmap of type `type_id` that a new module
// replaces; else that of the first firmware bitmap among the logo modules of
// the chain; else the default. Bitmaps of the types that may carry a screen
// position are passed over: their first four bytes may be a position. A
// module that does not unpack is no bitmap.
Signature signature_for(base::ByteView image, const image::Layout& layout, std::uint16_t type_id);

}  // namespace kitra::convert
