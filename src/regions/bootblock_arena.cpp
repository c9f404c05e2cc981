#include "regions/bootblock_arena.h"

#include <algorithm>

#include "cli/catalogue.h"
#include "codec/module_header.h"
#include "image/listing_format.h"
#include "image/markers.h"
#include "image/records.h"
#include "regions/bootblock_records.h"

namespace kitra::regions {

namespace {

using bootblock_line::kArenaLength;
using bootblock_line::kArenaMarker;
constexpr std::uint64_t kLine = bootblock_line::kSize;
constexpr std::uint64_t kHeaderRead = 64;  // a walk reads this much of each slot

}  // namespace

std::optional<Arena> find_arena(base::ByteView image) {
    const std::optional<std::uint64_t> line = bootblock_marker_line(image, kArenaMarker);
    if (!line) return std::nullopt;
    const auto length = base::try_read_u16(image, *line + kArenaLength);
    if (!length) return std::nullopt;
    // An arena that the image's end cuts short ends there.
    return Arena{*line + kLine, std::min<std::uint64_t>(*line + kLine + *length, image.size())};
}

ArenaWalk walk_arena(base::ByteView image, const Arena& arena) {
    ArenaWalk walk;
    std::uint64_t slot = arena.start;
    while (codec::has_module_mark(image, slot)) {
        const auto packed = base::try_read_u32(image, slot + codec::field::kPackedSize);
        const auto type = base::try_read_u16(image, slot + codec::field::kTypeId);
        if (!packed || !type) break;  // a header cut short by the image's end is no module
        walk.modules.push_back(slot);
        slot += std::uint64_t{image[slot + codec::field::kHeaderSize]} + *packed + 3;
        if (slot + kHeaderRead >= arena.end) {
            walk.full = true;
            break;
        }
    }
    walk.free_slot = slot;
    return walk;
}

std::optional<codec::ModuleInfo> find_in_arena(base::ByteView image, const Arena& arena,
                                               std::uint16_t type_id) {
    for (const std::uint64_t slot : walk_arena(image, arena).modules)
        if (base::read_u16(image, slot + codec::field::kTypeId) == type_id)
            return codec::module_at(image, slot);
    return std::nullopt;
}

bool arena_holds(base::ByteView image, std::uint16_t type_id) {
    const std::optional<Arena> arena = find_arena(image);
    if (!arena) return false;
    for (const std::uint64_t slot : walk_arena(image, *arena).modules)
        if (base::read_u16(image, slot + codec::field::kTypeId) == type_id) return true;
    return false;
}

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
