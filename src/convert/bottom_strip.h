// The strip drawn over the bottom 16 rows of a full-screen logo: a picture
// of our own, 640 x 16 pixels in palette indices 0 and 1, rows top first.
#pragma once

#include <cstdint>

#include "base/bytes.h"

namespace kitra::convert {

constexpr std::uint32_t kStripWidth = 640;
constexpr std::uint32_t kStripRows = 16;
constexpr std::uint64_t kStripSize = std::uint64_t{kStripWidth} * kStripRows;  // 10,240

// The expanded strip, kStripSize bytes.
base::ByteView bottom_strip();

}  // namespace kitra::convert
