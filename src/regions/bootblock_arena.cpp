#include "regions/bootblock_arena.h"

#include "cli/catalogue.h"
#include "codec/module_header.h"
#include "image/listing_format.h"
#include "image/markers.h"

namespace kitra::regions {

namespace {

constexpr std::string_view kArenaMarker = "BTKITRAARENA";
constexpr std::uint64_t kArenaLength = 12;  // in the marker's line

}  // namespace

void print_arena_rows(base::ByteView image, const image::Layout& l, const std::string& image_name,
                      platform::Console& con) {
    const std::uint32_t past = image::line_search(image, l.base_window, kArenaMarker);
    if (past == image::kLineSearchMiss) return;
    const std::uint32_t line = l.base_window + past - 16;
    const std::uint32_t arena_end =
        base::try_read_u16(image, std::uint64_t{line} + kArenaLength).value_or(0) + line + 16;
    platform::print(con, "\n              ******** %12s Bootblock component ********\n\n",
                    image_name.c_str());
    platform::write(con, image::kColumnHeads);
    platform::write(con, image::kRule);
    std::uint8_t row = 0;
    // Positions are kept wide so that a crafted size cannot wrap them around.
    std::uint64_t pos = std::uint64_t{line} + 16;
    while (codec::has_module_mark(image, pos)) {
        const image::RawHeader h = image::raw_header(image, pos);
        if (h.step() == 0xFFFFFFFF) break;
        image::print_row(con, ++row, cli::bootblock_listing_name(h.type_id, h.type_suffix), h.original_size,
                         h.step(), h.name);
        pos += std::uint64_t{h.header_size} + h.packed_size + 3;
        if (pos >= static_cast<std::uint32_t>(arena_end - 64)) break;
    }
}

}  // namespace kitra::regions
