#include "convert/reverse_logo.h"

#include "convert/bmp_file.h"
#include "convert/firmware_bitmap.h"

namespace kitra::convert {

namespace {

using base::Bytes;
using base::ByteView;

// Where the rows of a firmware bitmap of `colours` would end; nullopt when
// its rows and palette would not fit in `contents`.
std::optional<std::uint64_t> pixels_end(ByteView contents, std::uint32_t width, std::uint32_t height,
                                        std::uint32_t colours) {
    const std::uint64_t end = fwbmp::kRows + rounded_row_length(width, colours) * height;
    const std::uint64_t trailer = fwbmp::kTrailerMark.size() + std::uint64_t{colours} * fwbmp::kPaletteEntry;
    if (!base::in_range(contents, end, trailer)) return std::nullopt;
    return end;
}

}  // namespace

bool is_true_colour_wrapper(ByteView contents) {
    return base::matches(contents, 0, fwbmp::kTrueColourMark);
}

std::optional<Bytes> reverse_logo(ByteView contents) {
    if (is_true_colour_wrapper(contents)) {
        const ByteView file = contents.subspan(fwbmp::kTrueColourMark.size());
        return Bytes(file.begin(), file.end());
    }
    const auto width = base::try_read_u16(contents, fwbmp::kWidth);
    const auto height = base::try_read_u16(contents, fwbmp::kHeight);
    if (!width || !height || *width == 0 || *height == 0) return std::nullopt;
    const std::uint32_t w = *width;
    const std::uint32_t h = *height;

    // A 256-colour bitmap has its "RGB " right after its rows; where that
    // mark is missing the rows are the shorter 16-colour ones. Rows are as
    // long as the conversion made them: whole groups of 8 pixels.
    std::uint32_t colours = 256;
    auto end = pixels_end(contents, w, h, colours);
    if (!end || !base::matches_ignore_case(contents, *end, fwbmp::kTrailerMark)) {
        colours = 16;
        end = pixels_end(contents, w, h, colours);
        if (!end) return std::nullopt;
    }

    Bytes out = bmp_headers(w, h, colours);
    std::uint64_t at = *end + fwbmp::kTrailerMark.size();
    for (std::uint32_t i = 0; i < colours; ++i, at += fwbmp::kPaletteEntry) {
        const ByteView e = base::slice(contents, at, fwbmp::kPaletteEntry);
        // 6-bit values back to 8 bits; 256-colour entries are stored red first.
        const bool bgr = colours == 16;
        out.push_back(static_cast<std::uint8_t>((bgr ? e[0] : e[2]) * 4));
        out.push_back(static_cast<std::uint8_t>(e[1] * 4));
        out.push_back(static_cast<std::uint8_t>((bgr ? e[2] : e[0]) * 4));
        out.push_back(0);
    }

    const std::uint64_t row_length = rounded_row_length(w, colours);
    const std::uint64_t stride = bmp_stride(w, colours == 16 ? 4 : 8);
    for (std::uint32_t n = h; n-- > 0;) {
        const ByteView row = base::slice(contents, fwbmp::kRows + n * row_length, row_length);
        Bytes stored(stride, 0);
        if (colours == 256) {
            base::copy_into(stored, 0, row.first(w));
        } else {
            const Bytes indices = from_bit_planes(row, w);
            for (std::uint32_t x = 0; x < w; ++x)
                stored[x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? indices[x] << 4 : indices[x]);
        }
        out.insert(out.end(), stored.begin(), stored.end());
    }
    return out;
}

}  // namespace kitra::convert
