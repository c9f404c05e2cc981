// Windows BMP files: the pictures users hand in as logos, and the form a logo
// takes again when it is extracted.
//
//    0  "BM"
//    2  file size (32 bits)
//   10  file offset of the pixel rows (32 bits)
//   14  size of the info header (32 bits): 40 for the classic header, 108 and
//       124 for the later ones that today's editors write by default
//   18  width in pixels (signed 32 bits)
//   22  height in rows (signed 32 bits; negative: rows stored top-down)
//   26  planes (16 bits, 1)
//   28  bits per pixel (16 bits): 4 and 8 index a palette, 24 and 32 are colours
//   30  compression (32 bits, 0 for plain rows)
//   34  size of the pixel rows (32 bits)
//   38  horizontal and vertical resolution in pixels per metre (32 bits each)
//   46  palette entries used, and entries important (32 bits each, 0: all)
//  14 + info header size: the palette, 4 bytes an entry (blue, green, red, 0)
//
// Rows are stored bottom row first, each padded to a multiple of 4 bytes; a
// 4-bit row holds two pixels a byte, the left one in the high nibble.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "base/bytes.h"

namespace kitra::convert {

namespace bmp {
constexpr std::string_view kSignature = "BM";
constexpr std::uint64_t kFileSize = 2;
constexpr std::uint64_t kPixelOffset = 10;
constexpr std::uint64_t kInfoHeader = 14;  // where the info header starts; its first field is its size
constexpr std::uint64_t kWidth = 18;
constexpr std::uint64_t kHeight = 22;
constexpr std::uint64_t kPlanes = 26;
constexpr std::uint64_t kBitCount = 28;
constexpr std::uint64_t kCompression = 30;
constexpr std::uint64_t kImageSize = 34;
constexpr std::uint64_t kXPixelsPerMetre = 38;
constexpr std::uint64_t kYPixelsPerMetre = 42;
constexpr std::uint64_t kColoursUsed = 46;
constexpr std::uint64_t kColoursImportant = 50;
constexpr std::uint32_t kClassicInfoHeaderSize = 40;
constexpr std::uint64_t kClassicHeadersEnd = kInfoHeader + kClassicInfoHeaderSize;  // 54
constexpr std::uint64_t kPaletteEntry = 4;
constexpr std::uint32_t kMaxSide = 65535;  // the firmware bitmap keeps width and height in 16 bits
}  // namespace bmp

// A BMP whose headers, palette and rows have been checked to lie inside the file.
struct BmpPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bit_count = 0;  // 4, 8, 24 or 32
    std::uint64_t stride = 0;     // bytes per stored row
    base::ByteView rows;          // height x stride bytes, bottom row first
    // 16 or 256 entries for 4 and 8 bits; the bytes the file holds before
    // its rows, the rest 0xFF.
    std::array<std::uint8_t, 256 * bmp::kPaletteEntry> palette{};
    std::uint32_t palette_entries = 0;  // whole entries taken from the file

    base::ByteView row(std::uint32_t bottom_up_index) const {
        return base::slice(rows, std::uint64_t{bottom_up_index} * stride, stride);
    }
    std::uint32_t colours() const { return bit_count == 4 ? 16 : bit_count == 8 ? 256 : 0; }
};

// Begins "BM": the add converts it as a bitmap.
bool is_bmp(base::ByteView file);

// Reads the BMP `file` named `name`. 4- and 8-bit pictures are read, and 24-
// and 32-bit ones when `true_colour` is set; any other bit count gets the
// `colour_refusal` of the conversion. A file cut short, a width or height of 0
// or over 65535, rows stored top-down, or compressed rows are refused with a
// message that names the file.
std::variant<BmpPicture, std::string> read_bmp(base::ByteView file, std::string_view name, bool true_colour,
                                               std::string_view colour_refusal);

// Bytes of a stored row of `width` pixels of `bit_count` bits.
std::uint64_t bmp_stride(std::uint64_t width, unsigned bit_count);

// The headers of a BMP with the classic 40-byte info header, bottom-up rows
// and a palette of `colours` entries (16 or 256) right behind it, at 3780
// pixels per metre.
base::Bytes bmp_headers(std::uint32_t width, std::uint32_t height, std::uint32_t colours);

}  // namespace kitra::convert
