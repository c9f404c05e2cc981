#include "convert/bmp_file.h"

#include <algorithm>

#include "base/text.h"

namespace kitra::convert {

namespace {

std::string refusal(std::string_view name, const std::string& reason) {
    return base::format("Bitmap %.*s %s; it is not added.\n", static_cast<int>(name.size()), name.data(),
                        reason.c_str());
}

std::int32_t read_i32(base::ByteView b, std::uint64_t off) {
    return static_cast<std::int32_t>(base::read_u32(b, off));
}

}  // namespace

bool is_bmp(base::ByteView file) {
    return base::matches(file, 0, bmp::kSignature);
}

std::uint64_t bmp_stride(std::uint64_t width, unsigned bit_count) {
    return (width * bit_count + 31) / 32 * 4;
}

std::variant<BmpPicture, std::string> read_bmp(base::ByteView file, std::string_view name, bool true_colour,
                                               std::string_view colour_refusal) {
    const auto header_size = base::try_read_u32(file, bmp::kInfoHeader);
    if (!header_size) return refusal(name, "is cut short");
    // Older and smaller headers place width, height and bit count elsewhere.
    if (*header_size < bmp::kClassicInfoHeaderSize)
        return refusal(name,
                       base::format("has an info header of %u bytes, which is not supported", *header_size));
    const std::uint64_t palette_start = bmp::kInfoHeader + *header_size;
    if (!base::in_range(file, 0, palette_start)) return refusal(name, "is cut short");

    BmpPicture p;
    p.bit_count = base::read_u16(file, bmp::kBitCount);
    const bool indexed = p.bit_count == 4 || p.bit_count == 8;
    if (!indexed && !(true_colour && (p.bit_count == 24 || p.bit_count == 32)))
        return std::string(colour_refusal);
    const std::uint32_t compression = base::read_u32(file, bmp::kCompression);
    if (compression != 0)
        return refusal(name,
                       base::format("is compressed (method %u); only plain rows are converted", compression));
    const std::int32_t width = read_i32(file, bmp::kWidth);
    const std::int32_t height = read_i32(file, bmp::kHeight);
    if (height < 0) return refusal(name, "is stored top-down");
    if (width <= 0 || height == 0 || static_cast<std::uint32_t>(width) > bmp::kMaxSide ||
        static_cast<std::uint32_t>(height) > bmp::kMaxSide)
        return refusal(name, "has a width or height of 0 or over 65535");
    p.width = static_cast<std::uint32_t>(width);
    p.height = static_cast<std::uint32_t>(height);

    const std::uint64_t pixel_offset = base::read_u32(file, bmp::kPixelOffset);
    if (pixel_offset < palette_start) return refusal(name, "has its rows inside its header");
    p.stride = bmp_stride(p.width, p.bit_count);
    if (!base::in_range(file, pixel_offset, p.stride * p.height)) return refusal(name, "is cut short");
    p.rows = base::slice(file, pixel_offset, p.stride * p.height);

    // The palette lies between the info header and the rows; a short one
    // (fewer entries used) leaves the entries it lacks erased.
    p.palette.fill(0xFF);
    const std::uint64_t palette_bytes =
        std::min<std::uint64_t>(pixel_offset - palette_start, p.colours() * bmp::kPaletteEntry);
    base::copy_into(p.palette, 0, base::slice(file, palette_start, palette_bytes));
    p.palette_entries = static_cast<std::uint32_t>(palette_bytes / bmp::kPaletteEntry);
    return p;
}

base::Bytes bmp_headers(std::uint32_t width, std::uint32_t height, std::uint32_t colours) {
    const unsigned bit_count = colours == 16 ? 4 : 8;
    const std::uint64_t image_size = bmp_stride(width, bit_count) * height;
    const std::uint64_t pixel_offset = bmp::kClassicHeadersEnd + colours * bmp::kPaletteEntry;
    base::Bytes h(bmp::kClassicHeadersEnd, 0);
    base::copy_into(h, 0, base::view_of(bmp::kSignature));
    base::write_u32(h, bmp::kFileSize, static_cast<std::uint32_t>(pixel_offset + image_size));
    base::write_u32(h, bmp::kPixelOffset, static_cast<std::uint32_t>(pixel_offset));
    base::write_u32(h, bmp::kInfoHeader, bmp::kClassicInfoHeaderSize);
    base::write_u32(h, bmp::kWidth, width);
    base::write_u32(h, bmp::kHeight, height);
    base::write_u16(h, bmp::kPlanes, 1);
    base::write_u16(h, bmp::kBitCount, static_cast<std::uint16_t>(bit_count));
    base::write_u32(h, bmp::kImageSize, static_cast<std::uint32_t>(image_size));
    // 96 dots per inch.
    base::write_u32(h, bmp::kXPixelsPerMetre, 3780);
    base::write_u32(h, bmp::kYPixelsPerMetre, 3780);
    return h;
}

}  // namespace kitra::convert
