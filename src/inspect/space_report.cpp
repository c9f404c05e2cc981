#include "inspect/space_report.h"

#include <algorithm>

#include "base/json.h"
#include "base/text.h"
#include "edit/special_areas.h"
#include "image/records.h"
#include "inspect/inventory_text.h"
#include "regions/boot_on_internet.h"

namespace kitra::inspect {

namespace {

using base::ByteView;
using base::format;

constexpr std::uint64_t kTrailer = image::trailer::kSize;
constexpr std::uint64_t kBarWidth = 14;

using base::ull;

std::uint64_t minus(std::uint64_t a, std::uint64_t b) {
    return a > b ? a - b : 0;
}

// What a fixed area of the bootblock holds: up to its last byte that is
// neither erased nor zero (the areas are written with the rest erased or
// zero).
std::uint64_t extent(ByteView image, std::uint64_t start, std::uint64_t size) {
    const ByteView b = base::clipped(image, start, size);
    for (std::size_t i = b.size(); i > 0; --i)
        if (b[i - 1] != 0xFF && b[i - 1] != 0x00) return i;
    return 0;
}

std::uint64_t not_erased(ByteView image, std::uint64_t start, std::uint64_t size) {
    const ByteView b = base::clipped(image, start, size);
    return static_cast<std::uint64_t>(
        std::count_if(b.begin(), b.end(), [](std::uint8_t x) { return x != 0xFF; }));
}

const Module* system_bios(const Inventory& inv) {
    for (const Module& m : inv.modules)
        if (m.system_bios) return &m;
    return nullptr;
}

const Module* bootblock_vga_module(const Inventory& inv) {
    for (const Module& m : inv.modules)
        if (m.area == ModuleArea::kBootblockVga) return &m;
    return nullptr;
}

// Where the compressed area begins: at the system BIOS when it lies before
// the walk start, else at the walk start.
std::uint64_t compressed_start(const Inventory& inv) {
    const Module* bios = system_bios(inv);
    return bios && bios->info.offset < inv.layout.walk_start ? bios->info.offset : inv.layout.walk_start;
}

// The areas with their words and names: the compressed area and what lies
// in it, then the bootblock's areas and the holes.
std::vector<SpaceArea> space_areas(const Inventory& inv, ByteView image) {
    const image::Layout& l = inv.layout;
    const FreeSpace& s = inv.space;
    std::vector<SpaceArea> areas;
    const std::uint64_t start = compressed_start(inv);
    const std::uint64_t chain = minus(s.chain_end, start);

    SpaceArea compressed{
        "compressed-area", "compressed area", start, minus(l.compressed_limit, start), chain, 0};
    std::vector<SpaceArea> parts;
    parts.push_back({"modules", "  modules", start, minus(s.module_limit, start), chain,
                     minus(s.module_limit, s.chain_end)});
    if (const auto& t = inv.top_hole) {
        const std::uint64_t end = t->offset + t->size + kTrailer;
        // Up to the microcode area when it lies above, else to the
        // compressed area's end: nothing else may use those bytes.
        const std::uint64_t next = inv.microcode_area && inv.microcode_area->offset >= t->offset
                                       ? inv.microcode_area->offset
                                       : l.compressed_limit;
        parts.push_back(
            {"top-hole", "  top hole", t->offset, t->size + kTrailer, t->size + kTrailer, minus(next, end)});
    }
    if (const auto& m = inv.microcode_area) {
        const std::uint64_t room = edit::ncpucode_room(l, s.chain_end);
        parts.push_back({"microcode-area", "  microcode area", m->offset, m->size + kTrailer,
                         m->size + kTrailer, minus(room, m->size)});
    }
    for (const SpaceArea& p : parts)
        if (p.word != "modules" && p.offset >= start && p.offset < l.compressed_limit)
            compressed.used += p.used;
    compressed.used = std::min(compressed.used, compressed.size);
    compressed.free = compressed.size - compressed.used;
    areas.push_back(compressed);
    areas.insert(areas.end(), parts.begin(), parts.end());

    const auto fixed = [&](const char* word, const char* name, std::uint64_t from, std::uint64_t to,
                           std::uint64_t used) {
        const std::uint64_t size = minus(to, from);
        used = std::min(used, size);
        areas.push_back({word, name, from, size, used, size - used});
    };
    const auto& b = inv.bootblock;
    if (const auto& a = b.arena)
        fixed("arena", "bootblock arena", a->arena.start, a->arena.end, minus(a->free_slot, a->arena.start));
    if (const auto& v = b.vga_module) {
        const Module* m = bootblock_vga_module(inv);
        fixed("bootblock-vga-module", "bootblock VGA module area", v->area.start, v->area.end,
              m ? m->info.step() : extent(image, v->area.start, minus(v->area.end, v->area.start)));
    }
    if (const auto& v = b.vga_rom)
        fixed("bootblock-vga-rom", "bootblock VGA ROM area", v->start, v->end,
              extent(image, v->start, minus(v->end, v->start)));
    if (const auto& n = b.nv_memory)
        fixed("nvidia-memory", "nVidia memory module area", n->start, n->end,
              extent(image, n->start, minus(n->end, n->start)));
    if (inv.holes)
        for (const HoleInfo& h : inv.holes->holes) {
            const std::uint64_t used = h.record ? h.record->size : 0;
            fixed("hole", format("hole ID %04X", h.entry.id).c_str(), h.entry.start(),
                  h.entry.start() + h.entry.size(), used);
        }
    // Those outside the compressed area in address order.
    const auto outside = areas.begin() + static_cast<std::ptrdiff_t>(1 + parts.size());
    std::stable_sort(outside, areas.end(),
                     [](const SpaceArea& a, const SpaceArea& b) { return a.offset < b.offset; });
    return areas;
}

// What is in [from, to) that no region of its own names: unused bytes of
// the compressed area, the base window, the bootblock, or what lies between.
void add_gaps(std::vector<MapRegion>& map, const Inventory& inv, ByteView image, std::uint64_t from,
              std::uint64_t to) {
    const std::uint64_t compressed_end = inv.layout.compressed_limit;
    const std::uint64_t window = image::base_window_start(inv.length);
    const std::uint64_t bootblock = image::bootblock_start(inv.length);
    while (from < to) {
        std::uint64_t end = to;
        for (const std::uint64_t cut : {compressed_end, window, bootblock})
            if (cut > from && cut < end) end = cut;
        const char* word = "other";
        const char* name = "other";
        if (from >= bootblock) {
            word = name = "bootblock";
        } else if (from >= window) {
            word = "base-window";
            name = "base window";
        } else if (from < compressed_end) {
            word = name = "unused";
        }
        map.push_back({word, name, from, end - from, not_erased(image, from, end - from)});
        from = end;
    }
}

std::vector<MapRegion> space_map(const Inventory& inv, ByteView image, const std::vector<SpaceArea>& areas) {
    std::vector<MapRegion> regions;
    const auto add = [&](std::string word, std::string name, std::uint64_t offset, std::uint64_t size,
                         std::uint64_t used) {
        if (size > 0)
            regions.push_back({std::move(word), std::move(name), offset, size, std::min(used, size)});
    };
    const image::Layout& l = inv.layout;
    if (const Module* bios = system_bios(inv)) {
        // Up to the walk start, which it keeps for itself; elsewhere (small
        // images, where it lies in the base window) its own bytes.
        const std::uint64_t at = bios->info.offset;
        add("system-bios", "system BIOS", at, at < l.walk_start ? l.walk_start - at : bios->info.step(),
            bios->info.step());
    }
    for (const SpaceArea& a : areas) {
        if (a.word == "compressed-area") continue;
        std::string name = a.name;
        name.erase(0, name.find_first_not_of(' '));
        if (a.word == "modules")
            add(a.word, name, l.walk_start, minus(inv.space.module_limit, l.walk_start),
                minus(inv.space.chain_end, l.walk_start));
        else
            add(a.word, name, a.offset, a.size, a.used);
    }
    if (const auto& boi = inv.boot_on_internet)
        add("boot-on-internet", "Boot On Internet block", boi->offset, regions::boi::kSize,
            regions::boi::kSize);

    // In address order; a region that begins inside an earlier one keeps
    // only what lies past it.
    std::stable_sort(regions.begin(), regions.end(),
                     [](const MapRegion& a, const MapRegion& b) { return a.offset < b.offset; });
    std::vector<MapRegion> map;
    std::uint64_t at = 0;
    for (MapRegion r : regions) {
        const std::uint64_t end = std::min(r.offset + r.size, inv.length);
        if (end <= at) continue;
        if (r.offset > at) add_gaps(map, inv, image, at, r.offset);
        const std::uint64_t from = std::max(r.offset, at);
        r.used = std::min(r.used, end - from);
        r.offset = from;
        r.size = end - from;
        map.push_back(std::move(r));
        at = end;
    }
    add_gaps(map, inv, image, at, inv.length);
    return map;
}

std::string hex(std::uint64_t v) {
    return format("%llXh", ull(v));
}

std::string bar(const MapRegion& r) {
    std::uint64_t filled = r.size ? r.used * kBarWidth / r.size : 0;
    if (r.used > 0 && filled == 0) filled = 1;
    if (r.used < r.size && filled == kBarWidth) filled = kBarWidth - 1;
    return "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "]";
}

}  // namespace

SpaceReport space_report(const Inventory& inventory, ByteView image) {
    SpaceReport r;
    r.name = inventory.name;
    r.length = inventory.length;
    r.areas = space_areas(inventory, image);
    r.map = space_map(inventory, image, r.areas);
    return r;
}

std::string space_text(const SpaceReport& r) {
    std::string out;
    const auto line = [&](const std::string& text) { out += fit(text, platform::kConsoleWidth - 1) + "\n"; };
    line(format("Space of %s: %llu bytes (%s)", base::printable(r.name).c_str(), ull(r.length),
                hex(r.length).c_str()));
    line("");
    line(format("%-26s %-8s %10s %10s %10s", "Area", "Offset", "Size", "Used", "Free"));
    for (const SpaceArea& a : r.areas)
        line(format("%-26s %08llX %10s %10s %10s", a.name.c_str(), ull(a.offset), hex(a.size).c_str(),
                    hex(a.used).c_str(), hex(a.free).c_str()));
    line("");
    line(format("%-17s  %-26s %9s %-*s %4s", "Map", "Region", "Size", static_cast<int>(kBarWidth + 2), "",
                "Used"));
    for (const MapRegion& m : r.map) {
        const unsigned percent = m.size ? static_cast<unsigned>(m.used * 100 / m.size) : 0;
        line(format("%08llX-%08llX  %-26s %9s %s %3u%%", ull(m.offset), ull(m.offset + m.size - 1),
                    m.name.c_str(), hex(m.size).c_str(), bar(m).c_str(), percent));
    }
    return out;
}

std::string space_json(const SpaceReport& r) {
    base::JsonWriter w;
    w.begin_object();
    w.member("schema", kSpaceSchema);
    w.key("image").begin_object().member("name", r.name).member("length", r.length).end_object();
    w.key("areas").begin_array();
    for (const SpaceArea& a : r.areas) {
        std::string name = a.name;
        name.erase(0, name.find_first_not_of(' '));
        w.begin_object()
            .member("area", a.word)
            .member("name", name)
            .member("offset", a.offset)
            .member("size", a.size)
            .member("used", a.used)
            .member("free", a.free)
            .end_object();
    }
    w.end_array();
    w.key("map").begin_array();
    for (const MapRegion& m : r.map)
        w.begin_object()
            .member("region", m.word)
            .member("name", m.name)
            .member("offset", m.offset)
            .member("size", m.size)
            .member("used", m.used)
            .end_object();
    w.end_array();
    w.end_object();
    return w.text();
}

}  // namespace kitra::inspect
