#include "regions/bootblock_modules.h"

#include <array>
#include <string>

#include "base/text.h"
#include "codec/packer.h"
#include "image/editable.h"
#include "image/listing_format.h"
#include "image/markers.h"
#include "image/records.h"
#include "regions/bootblock_records.h"
#include "regions/space_advice.h"

namespace kitra::regions {

namespace {

using base::ByteView;
using platform::print;
namespace line = bootblock_line;

constexpr cli::ItemResult kFailed{.failed = true};

const char* image_name(const cli::Run& run) {
    return run.settings.image_name.c_str();
}

// `need` bytes into an area of `room`, which the bootblock fixes.
cli::ItemResult no_space(cli::Run& run, std::uint64_t need, std::uint64_t room) {
    print(run.con, "%s have not enough space for adding ROM.\n\n", image_name(run));
    if (need > room)
        advise_fixed(run, need - room, "its area is fixed by the bootblock, and no release changes it");
    return kFailed;
}

cli::ItemResult not_nvidia(cli::Run& run) {
    print(run.con, "%s isn't nVidia chipset BIOS ROM.\n\n", image_name(run));
    return kFailed;
}

cli::ItemResult refuse(cli::Run& run, const std::string& reason) {
    cli::report_refusal(run, reason);
    return kFailed;
}

// An area whose end lies below its start has no size; taking end - start
// as a size would write over the rest of the bootblock.
std::optional<std::string> backwards(const cli::Run& run, std::string_view marker, const MarkedArea& a) {
    if (a.end >= a.start) return std::nullopt;
    return base::format("The \"%.*s\" line of %s gives an area end (%04Xh) below its start (%04Xh)",
                        static_cast<int>(marker.size()), marker.data(), image_name(run), a.end_word,
                        a.start_word);
}

// The ROM byte for byte up to window offset 0x1E000, the rest erased.
cli::ItemResult add_vga_rom(cli::Run& run, const cli::Item& item, std::uint64_t marker_line) {
    const ByteView file = item.component;
    const base::ByteView image = run.image.bytes();
    const std::uint64_t area = marker_line + line::kSize;
    const std::uint64_t area_end = image::base_window_start(image.size()) + line::kVgaRomAreaEnd;
    if (area > area_end)
        return refuse(run,
                      base::format("The \"%s\" line of %s lies past window offset %Xh, where its area ends",
                                   line::kVgaRomMarker.data(), image_name(run), line::kVgaRomAreaEnd));
    // The ROM says its own length, in 512-byte blocks, in its third byte.
    const std::uint64_t rom_length = file.size() > 2 ? std::uint64_t{file[2]} * 512 : 0;
    if (rom_length == 0)
        return refuse(run, base::format("%s gives a ROM length of 0", item.component_name.c_str()));
    if (rom_length > file.size())
        return refuse(run, base::format("%s is %zu bytes long, shorter than the ROM length %llu it gives",
                                        item.component_name.c_str(), file.size(),
                                        static_cast<unsigned long long>(rom_length)));
    if (rom_length > area_end - area) return no_space(run, rom_length, area_end - area);
    print(run.con, "Adding %s into BootBlock ..... ", item.component_name.c_str());
    image::copy_into(run.image, area, file.first(rom_length));
    image::fill(run.image, area + rom_length, area_end - area - rom_length, 0xFF);
    print(run.con, "Success\n");
    return {};
}

// The ROM packed as a module, the rest of the area erased.
cli::ItemResult add_vga_module(cli::Run& run, const cli::Item& item, std::uint64_t marker_line) {
    const base::ByteView image = run.image.bytes();
    const MarkedArea a = read_marked_area(image, marker_line, line::kVgaStart, line::kVgaEnd);
    if (const auto refused = backwards(run, line::kVgaModuleMarker, a)) return refuse(run, *refused);
    const base::Bytes module = codec::pack(item.component, codec::PackMode::kCompress, item.component_name,
                                           line::kVgaModuleType, run.encoder(), run.report());
    // A module as long as the area does not fit: the firmware needs the
    // erased byte behind it.
    if (module.empty() || module.size() >= a.end - a.start)
        return no_space(run, module.size() + 1, a.end - a.start);
    print(run.con, "Adding %s into BootBlock ..... ", item.component_name.c_str());
    image::copy_into(run.image, a.start, module);
    image::fill(run.image, a.start + module.size(), a.end - a.start - module.size(), 0xFF);
    print(run.con, "Success\n");
    return {};
}

cli::ItemResult add_on_board_vga(cli::Run& run, const cli::Item& item) {
    const ByteView file = item.component;
    if (file.size() < 2 || file[0] != 0x55 || file[1] != 0xAA) {
        print(run.con, "The ROM Not VGA BIOS\n");
        return {.failed = true, .end_loop = true};
    }
    if (const auto at = bootblock_marker_line(run.image.bytes(), line::kVgaRomMarker))
        return add_vga_rom(run, item, *at);
    if (const auto at = bootblock_marker_line(run.image.bytes(), line::kVgaModuleMarker))
        return add_vga_module(run, item, *at);
    return kFailed;  // an image without an on-board VGA area: nothing to say, but nothing done
}

// The module byte for byte, the rest of its area zero.
cli::ItemResult add_nv_memory(cli::Run& run, const cli::Item& item) {
    const base::ByteView image = run.image.bytes();
    const auto at = bootblock_marker_line(image, line::kNvMemoryMarker);
    if (!at) return not_nvidia(run);
    const MarkedArea a = read_marked_area(image, *at, line::kNvMemoryStart, line::kNvMemoryEnd);
    if (const auto refused = backwards(run, line::kNvMemoryMarker, a)) return refuse(run, *refused);
    const ByteView file = item.component;
    if (a.end - a.start < file.size()) return no_space(run, file.size(), a.end - a.start);
    print(run.con, "Adding %s into BootBlock .....(Start %x) ", item.component_name.c_str(), a.start_word);
    image::copy_into(run.image, a.start, file);
    image::fill(run.image, a.start + file.size(), a.end - a.start - file.size(), 0x00);
    print(run.con, "Success\n");
    return {};
}

// The ROM byte for byte at its place; nothing around it changes.
cli::ItemResult add_pmu_rom(cli::Run& run, const cli::Item& item) {
    const base::ByteView image = run.image.bytes();
    const auto at = bootblock_marker_line(image, line::kPmuMarker);
    if (!at) return not_nvidia(run);
    const PmuPlace place = read_pmu_place(image, *at);
    const ByteView file = item.component;
    if (std::uint64_t{place.capacity_kib} * 1024 < file.size())
        return no_space(run, file.size(), std::uint64_t{place.capacity_kib} * 1024);
    const auto offset = pmu_file_offset(image.size(), place.segment, place.offset);
    if (!offset || !base::in_range(image, *offset, file.size()))
        return refuse(
            run, base::format("The PMU place %04X:%04X of %s does not hold %s (%zu bytes) inside the image",
                              place.segment, place.offset, image_name(run), item.component_name.c_str(),
                              file.size()));
    print(run.con, "Adding %s into BIOS .....(Start %llx) ", item.component_name.c_str(),
          static_cast<unsigned long long>(*offset));
    image::copy_into(run.image, *offset, file);
    print(run.con, ".....Success\n");
    return {};
}

void print_nv_memory_line(ByteView image, platform::Console& con) {
    const auto id = nv_memory_identification(image);
    if (!id) return;
    print(con, "\n *** %s", base::printable(id->texts[0]).c_str());
    print(con, " %s", base::printable(id->texts[1]).c_str());
    print(con, " %s", base::printable(id->texts[2]).c_str());
    print(con, " * Start Offset => %x, End Offset => %x ***\n", id->area.start_word, id->area.end_word);
}

void print_pmu_line(ByteView image, platform::Console& con) {
    const auto v = read_pmu_version(image);
    if (!v) return;
    const unsigned hi = v->high;
    const unsigned lo = v->low;
    print(con, " *** PMU Version => %x%.2x", hi, lo);
    print(con, " (20%.2d/%.2d Build %.2d) ***\n", hi >> 4, hi & 0xF, lo);
}

}  // namespace

std::optional<std::uint64_t> pmu_file_offset(std::uint64_t image_length, std::uint16_t segment,
                                             std::uint16_t offset) {
    // In real mode the image ends at physical address 0x100000, whatever its size.
    constexpr std::uint64_t kRealModeEnd = 0x100000;
    const std::uint64_t physical = std::uint64_t{segment} * 16 + offset;
    if (image_length + physical < kRealModeEnd) return std::nullopt;
    return image_length + physical - kRealModeEnd;
}

MarkedArea read_marked_area(ByteView image, std::uint64_t line, std::uint64_t start_field,
                            std::uint64_t end_field) {
    MarkedArea a;
    a.start_word = base::read_u16(image, line + start_field);
    a.end_word = base::read_u16(image, line + end_field);
    a.start = image::bootblock_start(image.size()) + a.start_word;
    a.end = image::bootblock_start(image.size()) + a.end_word;
    return a;
}

PmuPlace read_pmu_place(ByteView image, std::uint64_t line) {
    return {base::read_u16(image, line + bootblock_line::kPmuCapacity),
            base::read_u16(image, line + bootblock_line::kPmuSegment),
            base::read_u16(image, line + bootblock_line::kPmuOffset)};
}

std::optional<NvMemoryIdentification> nv_memory_identification(ByteView image) {
    const auto at = bootblock_marker_line(image, bootblock_line::kNvMemoryMarker);
    if (!at) return std::nullopt;
    NvMemoryIdentification id;
    id.area = read_marked_area(image, *at, bootblock_line::kNvMemoryStart, bootblock_line::kNvMemoryEnd);
    const std::uint64_t span = id.area.end > id.area.start ? id.area.end - id.area.start : 0;
    const auto hit = image::find_marker(image, id.area.start, span, nv_memory_id::kMarker);
    if (!hit) return std::nullopt;
    id.offset = *hit;
    // Three texts, each ending at its NUL or at the end of the record,
    // separated by runs of NUL.
    const ByteView record = base::clipped(image, *hit, nv_memory_id::kSize);
    std::size_t i = 0;
    for (std::size_t t = 0; t < id.texts.size(); ++t) {
        if (t > 0)
            while (i < record.size() && record[i] == 0) ++i;
        const std::size_t from = i;
        while (i < record.size() && record[i] != 0) ++i;
        id.texts[t] = base::text_of(record.subspan(from, i - from));
    }
    return id;
}

std::optional<PmuVersion> read_pmu_version(ByteView image) {
    namespace v = pmu_version;
    const auto at = bootblock_marker_line(image, bootblock_line::kPmuMarker);
    if (!at) return std::nullopt;
    const PmuPlace place = read_pmu_place(image, *at);
    const auto offset = pmu_file_offset(image.size(), place.segment, place.offset);
    if (!offset) return std::nullopt;
    const ByteView rom = base::clipped(image, *offset, v::kRead);
    if (rom.size() <= v::kPointer || rom[0] == 0xFF || rom[1] == 0xFF) return std::nullopt;
    const std::uint64_t n = rom[v::kPointer];
    if (n < v::kHighBack || n - v::kLowBack >= rom.size()) return std::nullopt;
    return PmuVersion{*offset, rom[n - v::kHighBack], rom[n - v::kLowBack]};
}

cli::ItemResult add_to_bootblock(cli::Run& run, const cli::Item& item) {
    switch (item.component_kind().bootblock_area) {
        case cli::BootblockArea::kVgaRom:
            return add_on_board_vga(run, item);
        case cli::BootblockArea::kNvMemory:
            return add_nv_memory(run, item);
        case cli::BootblockArea::kPmu:
            return add_pmu_rom(run, item);
        case cli::BootblockArea::kNone:
            break;
    }
    return kFailed;
}

void print_bootblock_vga_row(ByteView image, const image::Layout& l, platform::Console& con) {
    const std::uint32_t past = image::line_search(image, l.base_window, line::kVgaModuleMarker);
    if (past == image::kLineSearchMiss) return;
    const std::uint64_t at = std::uint64_t{l.base_window} + past - line::kSize;
    const std::uint16_t where = base::try_read_u16(image, at + line::kVgaStart).value_or(0);
    const image::RawHeader h = image::raw_header(image, image::bootblock_start(l.image_length) + where);
    if (h.original_size == 0) return;
    platform::write(con, "(BB) Compress BT-VGA ");
    image::print_sizes(con, h.original_size, h.step());
    platform::write(con, base::printable(h.name));
    platform::write(con, "\n");
}

void print_bootblock_lines(ByteView image, const image::Layout& l, platform::Console& con) {
    if (image::line_search_probe(image, l.base_window, line::kVgaRomMarker) ||
        image::line_search_probe(image, l.base_window, line::kVgaModuleMarker))
        platform::write(con, "\n ****** On Board VGA ROM In BootBlock ******\n");
    print_nv_memory_line(image, con);
    print_pmu_line(image, con);
}

}  // namespace kitra::regions
