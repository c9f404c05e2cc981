#include "listing/listing.h"

#include <algorithm>

#include "cli/catalogue.h"
#include "cli/isa_segment.h"
#include "codec/module_header.h"
#include "convert/microcode_info.h"
#include "image/listing_format.h"
#include "image/records.h"
#include "regions/bootblock_arena.h"
#include "regions/bootblock_modules.h"
#include "regions/hole_areas.h"

namespace kitra::listing {

namespace {

using base::ByteView;
using image::Layout;
using platform::Console;
using platform::print;
using platform::write;

void print_special_row(Console& con, ByteView image, const char* name, std::uint32_t start,
                       std::uint32_t size) {
    if (size == 0) return;
    write(con, name);
    image::print_sizes(con, size, size);
    // The trailer after the area's data holds the name.
    const ByteView stored = base::clipped(image, std::uint64_t{start} + size + image::trailer::kName,
                                          image::trailer::kNameLength + 1);
    print(con, "%s\n", image::c_string(base::text_of(stored)).c_str());
}

void print_report_line(Console& con, const char* label, std::uint32_t value) {
    print(con, "%s%1X%04Xh(%.2fK)\n", label, value >> 16, value & 0xFFFF,
          static_cast<double>(static_cast<float>(value) / 1024.0f));
}

}  // namespace

SpaceFigures space_figures(ByteView image, const Layout& l) {
    SpaceFigures f;
    // The system BIOS, counted as at least the 64 KiB it reserves.
    const bool large = l.image_length / image::kWindow64K >= 5;
    f.system_bios_at = large ? l.system_bios_offset : (l.walk_start != 0 ? 0 : l.base_window);
    const image::RawHeader bios = image::raw_header(image, f.system_bios_at);
    f.system_bios_size = bios.step() > 0xFFFF ? bios.step() + 1 : 0x10000;
    std::uint32_t used = f.system_bios_size;
    for (const codec::ModuleInfo& m : image::listed_modules(image, l))
        used += static_cast<std::uint32_t>(m.step());
    f.used = used;

    const bool top_hole = l.top_hole_size != 0;
    const std::uint32_t ncpu_size = l.ncpucode_size;
    const std::uint32_t trailer = image::trailer::kSize;
    f.total_space = l.walk_start != 0 ? l.compressed_limit - l.system_bios_offset
                                      : f.system_bios_size + l.compressed_limit;
    f.compressed_size = used + ncpu_size + l.top_hole_size + (ncpu_size != 0 ? trailer : 0) +
                        (l.top_hole_size != 0 ? trailer : 0);
    if (l.walk_start == 0) {
        f.remain = l.compressed_limit - (used - f.system_bios_size - ncpu_size);
    } else if (top_hole) {
        const std::uint32_t e =
            l.ncpucode_present ? std::min(l.top_hole_start, l.ncpucode_offset) : l.top_hole_start;
        f.remain = e - l.system_bios_offset - used;
    } else {
        f.remain = l.compressed_limit - l.system_bios_offset - used - ncpu_size;
    }
    if (top_hole) {
        const std::uint32_t e = l.ncpucode_present && l.ncpucode_offset >= l.top_hole_start
                                    ? l.ncpucode_offset
                                    : l.compressed_limit;
        f.top_hole_wasted = e - l.top_hole_start - l.top_hole_size - trailer;
    }
    return f;
}

void print_listing(ByteView image, const Layout& l, const std::string& image_name, Console& con) {
    print(con, "\n              ******** %12s BIOS component ********\n\n", image_name.c_str());
    write(con, image::kColumnHeads);
    write(con, image::kRule);

    const SpaceFigures f = space_figures(image, l);
    const image::RawHeader bios = image::raw_header(image, f.system_bios_at);
    image::print_row(con, 0, "System BIOS     ", bios.original_size, f.system_bios_size, bios.name);

    std::uint8_t row = 0;
    for (const codec::ModuleInfo& m : image::listed_modules(image, l)) {
        image::print_row(con, ++row, cli::listing_name(m.type_id, cli::type_suffix(m)), m.original_size,
                         static_cast<std::uint32_t>(m.step()), m.name);
    }

    const std::uint32_t ncpu_size = l.ncpucode_size;
    if (l.ncpucode_offset < l.top_hole_start) {
        print_special_row(con, image, "(SP) NCPUCODE        ", l.ncpucode_offset, ncpu_size);
        print_special_row(con, image, "(SP) TOPHOLE         ", l.top_hole_start, l.top_hole_size);
    } else {
        print_special_row(con, image, "(SP) TOPHOLE         ", l.top_hole_start, l.top_hole_size);
        print_special_row(con, image, "(SP) NCPUCODE        ", l.ncpucode_offset, ncpu_size);
    }

    regions::print_hole_lines(image, l, con);
    regions::print_bootblock_vga_row(image, l, con);

    print_report_line(con, "  Total compress code space  = ", f.total_space);
    print_report_line(con, "  Total compressed code size = ", f.compressed_size);
    print_report_line(con, "  Remain compress code space = ", f.remain);
    if (f.top_hole_wasted) print_report_line(con, "  Top Hole wasted code space = ", *f.top_hole_wasted);

    regions::print_bootblock_lines(image, l, con);
    regions::print_arena_rows(image, l, image_name, con);
    convert::print_microcode_table(image, l, con);
}

}  // namespace kitra::listing
