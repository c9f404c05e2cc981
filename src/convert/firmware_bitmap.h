// The firmware bitmap: the form a logo takes inside the image, because the
// firmware draws straight from it and cannot read BMP files.
//
//    0  the signature the firmware looks for ("MVBM" unless the image's own
//       bitmaps carry another), or the screen position x, y (16 bits each)
//       of an OSB picture that was given one
//    4  width in pixels (16 bits)
//    6  height in rows (16 bits)
//    8  the rows, top row first, each of one row length
//    8 + rows x row length  "RGB " and the palette: 16 or 256 entries of 3 bytes
//
// 256-colour rows hold one palette index a byte. 16-colour rows are either
// bit planes (the VGA planar form, which the firmware copies to the screen
// plane by plane) or, for GUI pictures, packed as in a BMP. A bit-plane row
// takes its pixels in groups of 8: plane k's byte for a group holds bit k of
// each pixel's index, the leftmost pixel in bit 7; the row is every group's
// byte of plane 0, then of plane 1, 2 and 3. A last, partial group leaves
// its low bits 0.
//
// True-colour GUI pictures are kept whole instead: "24BM" and the BMP file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/bytes.h"

namespace kitra::convert {

namespace fwbmp {
constexpr std::uint64_t kX = 0;  // in place of the magic
constexpr std::uint64_t kY = 2;
constexpr std::uint64_t kWidth = 4;
constexpr std::uint64_t kHeight = 6;
constexpr std::uint64_t kRows = 8;
constexpr std::string_view kTrailerMark = "RGB ";
constexpr std::uint64_t kPaletteEntry = 3;
constexpr std::string_view kTrueColourMark = "24BM";
}  // namespace fwbmp

// The four bytes a firmware bitmap opens with. A board's firmware shows only
// bitmaps that carry its own signature, and real images carry others than
// the default "MVBM"; a new bitmap takes the one of the image it goes into.
using Signature = std::array<std::uint8_t, 4>;
constexpr Signature kDefaultSignature = {'M', 'V', 'B', 'M'};

// The signature of `contents` when they are a firmware bitmap, recognised by
// its structure, whatever its signature: a width and a height, and "RGB "
// (any letter case) right after the rows with the palette behind it, for
// one of the row lengths the conversions write (256 colours rounded to
// groups of 8 or exactly the width, 16 colours rounded). A true-colour
// wrapper is none.
std::optional<Signature> firmware_bitmap_signature(base::ByteView contents);

// Row length of the logo conversion's rows and of every bit-plane row:
// 256 colours a byte per pixel, 16 colours half that, rounded up to whole
// groups of 8 pixels.
inline std::uint64_t rounded_row_length(std::uint64_t width, std::uint32_t colours) {
    const std::uint64_t rounded = (width + 7) & ~std::uint64_t{7};
    return colours == 16 ? rounded / 2 : rounded;
}

// One row of 16-colour indices (one a byte, `out.size()` / 4 x 8 of them at
// most) as bit planes into `out`, which is (width + 7) / 8 x 4 bytes.
void to_bit_planes(base::ByteView indices, base::MutableByteView out);
// The indices of the first `width` pixels of a bit-plane row.
base::Bytes from_bit_planes(base::ByteView planes, std::uint32_t width);

}  // namespace kitra::convert
