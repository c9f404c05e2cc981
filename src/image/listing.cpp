#include "image/listing.h"

#include <algorithm>

#include "cli/catalogue.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "convert/microcode_info.h"
#include "image/markers.h"
#include "regions/bootblock_modules.h"
#include "regions/hole_areas.h"

namespace kitra::image {

namespace {

using platform::Console;
using platform::move_to_column;
using platform::print;
using platform::write;

constexpr int kSizeColumn = 40;
constexpr int kNameColumn = 56;
constexpr std::uint32_t kCpuMicrocodeType = 0x4001;

const char kColumnHeads[] = " No. Item-Name         Original-Size   Compressed-Size Original-File-Name \n";
const char kRule[] = "================================================================================";

float kilobytes(std::uint32_t value) {
    return static_cast<float>(value) / 1024.0f;
}

// The fields of a header as the listing reads them: straight from the image,
// with bytes past its end read as 0.
struct RawHeader {
    std::uint32_t header_size = 0;
    std::uint32_t packed_size = 0;
    std::uint32_t original_size = 0;
    std::uint16_t type_suffix = 0;
    std::uint16_t type_id = 0;
    std::string name;
    std::uint32_t step() const { return header_size + packed_size + 3; }
};

RawHeader raw_header(ByteView image, std::uint64_t off) {
    RawHeader h;
    h.header_size = off < image.size() ? image[off] : 0;
    h.packed_size = try_read_u32(image, off + codec::field::kPackedSize).value_or(0);
    h.original_size = try_read_u32(image, off + codec::field::kOriginalSize).value_or(0);
    h.type_suffix = try_read_u16(image, off + codec::field::kTypeSuffix).value_or(0);
    h.type_id = try_read_u16(image, off + codec::field::kTypeId).value_or(0);
    const std::uint64_t n =
        off + codec::field::kNameLength < image.size() ? image[off + codec::field::kNameLength] : 0;
    const ByteView name = clipped(image, off + codec::field::kName, n);
    h.name = text_of(name);
    return h;
}

// A stored name printed with "%s": it ends at its first zero byte.
std::string c_string(std::string_view text) {
    return platform::printable(text.substr(0, std::min(text.find('\0'), text.size())));
}

void print_sizes(Console& con, std::uint32_t original, std::uint32_t in_image) {
    print(con, "  %s", size_field(original).c_str());
    move_to_column(con, kSizeColumn);
    write(con, size_field(in_image));
    move_to_column(con, kNameColumn);
}

void print_row(Console& con, std::uint8_t number, const std::string& name, std::uint32_t original,
               std::uint32_t in_image, const std::string& stored_name) {
    print(con, " %2d. %s", number, name.c_str());
    print_sizes(con, original, in_image);
    print(con, "%s\n", c_string(stored_name).c_str());
}

void print_special_row(Console& con, ByteView image, const char* name, std::uint32_t start,
                       std::uint32_t size) {
    if (size == 0) return;
    write(con, name);
    print_sizes(con, size, size);
    // The trailer after the area's data holds the name 16 bytes on.
    const ByteView stored = clipped(image, std::uint64_t{start} + size + 16, 13);
    print(con, "%s\n", c_string(text_of(stored)).c_str());
}

void print_report_line(Console& con, const char* label, std::uint32_t value) {
    print(con, "%s%1X%04Xh(%.2fK)\n", label, value >> 16, value & 0xFFFF,
          static_cast<double>(kilobytes(value)));
}

void print_bootblock_vga_row(Console& con, ByteView image, const Layout& l) {
    const std::uint32_t past = line_search(image, l.base_window, "*BT-VGA*");
    if (past == kLineSearchMiss) return;
    const std::uint64_t line = std::uint64_t{l.base_window} + past - 16;
    const std::uint16_t where = try_read_u16(image, line + 8).value_or(0);
    const std::uint64_t header = std::uint64_t{l.image_length} - 0x10000 + where;
    const RawHeader h = raw_header(image, header);
    if (h.original_size == 0) return;
    write(con, "(BB) Compress BT-VGA ");
    print_sizes(con, h.original_size, h.step());
    write(con, platform::printable(h.name));
    write(con, "\n");
}

void print_arena(Console& con, ByteView image, const Layout& l, const std::string& image_name) {
    const std::uint32_t past = line_search(image, l.base_window, "BTKITRAARENA");
    if (past == kLineSearchMiss) return;
    const std::uint32_t line = l.base_window + past - 16;
    const std::uint32_t arena_end = try_read_u16(image, std::uint64_t{line} + 12).value_or(0) + line + 16;
    print(con, "\n              ******** %12s Bootblock component ********\n\n", image_name.c_str());
    write(con, kColumnHeads);
    write(con, kRule);
    std::uint8_t row = 0;
    // Positions are kept wide so that a crafted size cannot wrap them around.
    std::uint64_t pos = std::uint64_t{line} + 16;
    while (codec::has_module_mark(image, pos)) {
        const RawHeader h = raw_header(image, pos);
        if (h.step() == 0xFFFFFFFF) break;
        print_row(con, ++row, cli::bootblock_listing_name(h.type_id, h.type_suffix), h.original_size,
                  h.step(), h.name);
        pos += std::uint64_t{h.header_size} + h.packed_size + 3;
        if (pos >= static_cast<std::uint32_t>(arena_end - 64)) break;
    }
}

}  // namespace

std::string size_field(std::uint32_t value) {
    return platform::format("%01X%04Xh(%.2fK)", value >> 16, value & 0xFFFF,
                            static_cast<double>(kilobytes(value)));
}

void print_listing(ByteView image, const Layout& l, const std::string& image_name, Console& con) {
    print(con, "\n              ******** %12s BIOS component ********\n\n", image_name.c_str());
    write(con, kColumnHeads);
    write(con, kRule);

    // Row 0: the system BIOS, counted as at least the 64 KiB it reserves.
    const bool large = l.image_length / 0x10000 >= 5;
    const std::uint32_t bios_at = large ? l.system_bios_offset : (l.walk_start != 0 ? 0 : l.base_window);
    const RawHeader bios = raw_header(image, bios_at);
    const std::uint32_t bios_size = bios.step() > 0xFFFF ? bios.step() + 1 : 0x10000;
    print_row(con, 0, "System BIOS     ", bios.original_size, bios_size, bios.name);
    std::uint32_t used = bios_size;

    const bool top_hole = l.top_hole_size != 0;
    const std::uint32_t end_mark = top_hole ? l.top_hole_start : l.compressed_limit;
    std::uint8_t row = 0;
    std::uint32_t pos = l.walk_start;
    std::optional<Bytes> cpu_module;
    while (auto m = codec::module_at(image, pos)) {
        print_row(con, ++row, cli::listing_name(m->type_id, m->type_suffix), m->original_size,
                  static_cast<std::uint32_t>(m->step()), m->name);
        if (m->type_id == kCpuMicrocodeType) cpu_module = codec::unpack(image.subspan(pos), con);
        used += static_cast<std::uint32_t>(m->step());
        pos += static_cast<std::uint32_t>(m->step());
        if (pos >= end_mark - 64) break;
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
    print_bootblock_vga_row(con, image, l);

    const std::uint32_t space =
        l.walk_start != 0 ? l.compressed_limit - l.system_bios_offset : bios_size + l.compressed_limit;
    print_report_line(con, "  Total compress code space  = ", space);
    const std::uint32_t packed =
        used + ncpu_size + l.top_hole_size + (ncpu_size != 0 ? 32 : 0) + (l.top_hole_size != 0 ? 32 : 0);
    print_report_line(con, "  Total compressed code size = ", packed);
    std::uint32_t remain = 0;
    if (l.walk_start == 0) {
        remain = l.compressed_limit - (used - bios_size - ncpu_size);
    } else if (top_hole) {
        const std::uint32_t e =
            l.ncpucode_present ? std::min(l.top_hole_start, l.ncpucode_offset) : l.top_hole_start;
        remain = e - l.system_bios_offset - used;
    } else {
        remain = l.compressed_limit - l.system_bios_offset - used - ncpu_size;
    }
    print_report_line(con, "  Remain compress code space = ", remain);
    if (top_hole) {
        const std::uint32_t e = l.ncpucode_present && l.ncpucode_offset >= l.top_hole_start
                                    ? l.ncpucode_offset
                                    : l.compressed_limit;
        print_report_line(con,
                          "  Top Hole wasted code space = ", e - l.top_hole_start - l.top_hole_size - 32);
    }

    if (line_search_probe(image, l.base_window, "BtBkVgaRom") ||
        line_search_probe(image, l.base_window, "*BT-VGA*"))
        write(con, "\n ****** On Board VGA ROM In BootBlock ******\n");
    regions::print_nvidia_lines(image, l, con);

    print_arena(con, image, l, image_name);
    convert::print_microcode_table(image, l, cpu_module, con);
}

}  // namespace kitra::image
