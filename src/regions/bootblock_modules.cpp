#include "regions/bootblock_modules.h"

#include "base/text.h"
#include "image/listing_format.h"
#include "image/markers.h"
#include "image/records.h"

namespace kitra::regions {

namespace {

constexpr std::string_view kVgaRomMarker = "BtBkVgaRom";
constexpr std::string_view kVgaModuleMarker = "*BT-VGA*";
// The "*BT-VGA*" line: the area's start and end follow the marker, as
// offsets in the bootblock (the last 64 KiB).
constexpr std::uint64_t kVgaAreaStart = 8;

}  // namespace

void print_bootblock_vga_row(base::ByteView image, const image::Layout& l, platform::Console& con) {
    const std::uint32_t past = image::line_search(image, l.base_window, kVgaModuleMarker);
    if (past == image::kLineSearchMiss) return;
    const std::uint64_t line = std::uint64_t{l.base_window} + past - 16;
    const std::uint16_t where = base::try_read_u16(image, line + kVgaAreaStart).value_or(0);
    const image::RawHeader h = image::raw_header(image, image::bootblock_start(l.image_length) + where);
    if (h.original_size == 0) return;
    platform::write(con, "(BB) Compress BT-VGA ");
    image::print_sizes(con, h.original_size, h.step());
    platform::write(con, base::printable(h.name));
    platform::write(con, "\n");
}

void print_bootblock_lines(base::ByteView image, const image::Layout& l, platform::Console& con) {
    if (image::line_search_probe(image, l.base_window, kVgaRomMarker) ||
        image::line_search_probe(image, l.base_window, kVgaModuleMarker))
        platform::write(con, "\n ****** On Board VGA ROM In BootBlock ******\n");
}

}  // namespace kitra::regions
