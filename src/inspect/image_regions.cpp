#include "inspect/image_regions.h"

#include "base/text.h"
#include "image/records.h"
#include "regions/boot_on_internet.h"
#include "regions/finishing.h"

namespace kitra::inspect {

namespace {

// The checksum block's last two bytes, the "*BBSS*" record from its flag byte
// to its microcode word, and a "*BS1" record.
constexpr std::uint64_t kChecksumBlock = 4096;
constexpr std::uint64_t kBbssRecordEnd = image::bbss::kMicrocodeWord + 2;
constexpr std::uint64_t kBs1Record = image::bs1::kFlags + 1;

}  // namespace

std::vector<NamedRegion> named_regions(const Inventory& inv) {
    const image::Layout& l = inv.layout;
    std::vector<NamedRegion> r;
    const auto add = [&](std::uint64_t start, std::uint64_t length, std::string name) {
        if (length > 0) r.push_back({start, start + length, std::move(name)});
    };
    if (const auto& b = inv.bootblock.bbss) {
        add(l.checksum_block, kChecksumBlock, "checksum block");
        const std::uint64_t from =
            b->offset >= image::bbss::kFlagByteBefore ? b->offset - image::bbss::kFlagByteBefore : 0;
        add(from, b->offset + kBbssRecordEnd - from, "\"*BBSS*\" record");
    }
    if (l.bootblock_flag)
        add(l.image_checksum_word, regions::kBalanceAreaSize, "balance area");
    else if (inv.length >= image::kBaseWindowSize)
        add(image::base_window_start(inv.length) + regions::kPlainBalanceWord, 2, "balance word");
    for (const Bs1Record& s : inv.bootblock.bs1) add(s.offset, kBs1Record, "\"*BS1\" record");
    if (inv.bootblock.checksum) add(inv.bootblock.checksum->offset, 1, "bootblock checksum byte");
    if (inv.boot_on_internet)
        add(inv.boot_on_internet->offset, regions::boi::kSize, "Boot On Internet block");
    if (inv.holes) {
        add(inv.holes->directory, regions::hole::kDirectorySize, "hole directory");
        add(inv.holes->table, regions::hole::kTableSize, "hole table");
        for (const HoleInfo& h : inv.holes->holes)
            add(h.entry.start(), h.entry.size(), base::format("hole ID %04X", h.entry.id));
    }
    if (const auto& a = inv.bootblock.arena)
        add(a->arena.start, a->arena.end - a->arena.start, "bootblock arena");
    if (const auto& v = inv.bootblock.vga_rom; v && v->end > v->start)
        add(v->start, v->end - v->start, "bootblock VGA ROM area");
    if (const auto& v = inv.bootblock.vga_module; v && v->area.end > v->area.start)
        add(v->area.start, v->area.end - v->area.start, "bootblock VGA module area");
    if (const auto& n = inv.bootblock.nv_memory; n && n->end > n->start)
        add(n->start, n->end - n->start, "nVidia memory module area");
    if (inv.microcode_area)
        add(inv.microcode_area->offset, std::uint64_t{inv.microcode_area->size} + image::trailer::kSize,
            "microcode area");
    if (inv.top_hole)
        add(inv.top_hole->offset, std::uint64_t{inv.top_hole->size} + image::trailer::kSize, "top hole");
    if (inv.space.module_limit > inv.space.chain_end)
        add(inv.space.chain_end, inv.space.module_limit - inv.space.chain_end, "free space");
    if (inv.length >= image::kBaseWindowSize) {
        add(image::bootblock_start(inv.length), image::kWindow64K, "bootblock");
        add(image::base_window_start(inv.length), image::kWindow64K, "base window");
    }
    return r;
}

std::string region_name(const std::vector<NamedRegion>& regions, std::uint64_t offset, std::uint64_t limit,
                        std::uint64_t& stretch_end) {
    // The stretch ends where the first region that holds the offset ends, or
    // where a region before it in the list (one that would name the bytes
    // instead) begins.
    stretch_end = limit;
    for (const NamedRegion& r : regions) {
        if (offset >= r.start && offset < r.end) {
            stretch_end = std::min(stretch_end, r.end);
            return r.name;
        }
        if (r.start > offset) stretch_end = std::min(stretch_end, r.start);
    }
    return "compressed area";
}

}  // namespace kitra::inspect
