// An extracted logo becomes the BMP file it was made from, so that it can be
// viewed and edited again: a firmware bitmap (firmware_bitmap.h) becomes a
// 4- or 8-bit BMP, a true-colour wrapper gives back the file it wraps.
#pragma once

#include <optional>

#include "base/bytes.h"

namespace kitra::convert {

// Begins "24BM": a true-colour picture kept whole.
bool is_true_colour_wrapper(base::ByteView contents);

// The BMP of an extracted logo; nullopt when `contents` are neither a
// wrapper nor a firmware bitmap whose rows and palette lie inside them.
std::optional<base::Bytes> reverse_logo(base::ByteView contents);

}  // namespace kitra::convert
