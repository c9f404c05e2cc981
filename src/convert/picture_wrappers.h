// JPEG and GIF logos. The firmware's picture decoder finds a JPEG logo 16
// bytes into its module (the space before it is zero), and a GIF logo at the
// module's start; it finds both by type ID, so their modules carry a fixed
// stored name whatever the user's file was called. The picture itself is not
// examined: the option alone decides.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/bytes.h"

namespace kitra::convert {

constexpr std::uint64_t kJpegPrefix = 16;  // zero bytes in front of a JPEG logo
constexpr std::string_view kJpegStoredName = "MRV-JPEG.BIN";
constexpr std::string_view kGifStoredName = "MRV-GIF.BIN";

// 16 zero bytes, then the JPEG file.
base::Bytes wrap_jpeg(base::ByteView jpeg);

// An extracted JPEG logo without its 16 zero bytes (empty when it is shorter).
base::Bytes unwrap_jpeg(base::ByteView wrapped);

}  // namespace kitra::convert
