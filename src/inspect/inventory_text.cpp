#include "inspect/inventory_text.h"

#include "base/text.h"
#include "cli/catalogue.h"
#include "inspect/microcode_updates.h"
#include "platform/console.h"

namespace kitra::inspect {

namespace {

using base::format;

constexpr std::size_t kWidth = platform::kConsoleWidth;
// Where the notes under a microcode update begin.
constexpr const char* kNoteIndent = "             ";

// Text from the image, safe to show and cut to its column.
std::string shown(const std::string& image_text, std::size_t width) {
    return fit(base::printable(image_text), width);
}

// One line of at most 80 columns, without trailing blanks.
void line(std::string& out, const std::string& text) {
    std::string cut = fit(text, kWidth);
    while (!cut.empty() && cut.back() == ' ') cut.pop_back();
    out += cut;
    out += '\n';
}

std::string dotted(const std::array<std::uint8_t, 4>& a) {
    return format("%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
}

std::string yes_no(bool b) {
    return b ? "yes" : "no";
}

std::string rom_sum_text(const OptionRomImage& i) {
    if (!i.whole) return "cut short";
    if (!i.has_checksum()) return "no checksum";
    if (i.sum == 0) return "sum holds";
    return format("sum %02Xh, not 0", i.sum);
}

void header(std::string& out, const Inventory& inv) {
    line(out, "Image    " + shown(inv.name, kWidth - 9));
    line(out, format("Length   %llu bytes (%llXh)", static_cast<unsigned long long>(inv.length),
                     static_cast<unsigned long long>(inv.length)));
    line(out, format("CRC-32   %08X", inv.crc32));
    line(out, "SHA-256  " + base::sha256_text(inv.sha256));
}

void pair_line(std::string& out, const char* a, std::uint64_t x, const char* b, std::uint64_t y) {
    line(out, format("  %-22s %08llX   %-22s %08llX", a, static_cast<unsigned long long>(x), b,
                     static_cast<unsigned long long>(y)));
}

void layout_section(std::string& out, const Inventory& inv) {
    const image::Layout& l = inv.layout;
    line(out, "\nLayout");
    pair_line(out, "System BIOS", l.system_bios_offset, "Walk start", l.walk_start);
    pair_line(out, "Compressed area end", l.compressed_limit, "Module limit", inv.space.module_limit);
    pair_line(out, "Checksum block", l.checksum_block, "Image checksum word", l.image_checksum_word);
    line(out, format("  Bootblock flag %s, extended layout %s, logo flags %02Xh",
                     yes_no(l.bootblock_flag).c_str(), yes_no(l.extended_layout).c_str(), l.logo_flags));
}

std::string row_label(const Module& m, int& chain_row, int& arena_row) {
    switch (m.area) {
        case ModuleArea::kChain:
            return std::to_string(m.system_bios ? 0 : ++chain_row);
        case ModuleArea::kBootblockVga:
            return "BB";
        case ModuleArea::kArena:
            return "A" + std::to_string(++arena_row);
    }
    return "";
}

// What the module's row leaves out, on lines under it.
void module_notes(std::string& out, const Module& m) {
    const ModuleCheck& c = m.check;
    if (!c.header_sum_holds())
        line(out, format("       header sum %02Xh does not hold: the header sums to %02Xh", c.header_sum,
                         c.computed_header_sum));
    if (!c.problem.empty()) line(out, "       not readable: " + c.problem);
    if (c.computed_crc16 && !c.crc16_holds())
        line(out, format("       CRC-16 %04Xh does not hold: the contents give %04Xh", c.crc16,
                         *c.computed_crc16));
    if (m.option_rom) out += option_rom_lines(*m.option_rom, 7);
    if (m.bitmap_signature) {
        const convert::Signature& s = *m.bitmap_signature;
        const std::string text(s.begin(), s.end());
        line(out, format("       firmware bitmap, %s \"%s\" (%02X%02X%02X%02X)",
                         cli::takes_position(m.info.type_id) ? "signature or position" : "signature",
                         base::printable(text).c_str(), s[0], s[1], s[2], s[3]));
    }
    if (m.pe32) {
        const Pe32Facts& p = *m.pe32;
        std::string text = format("       PE32 for %08X", p.address);
        if (p.image_base)
            text +=
                format(", ImageBase %08X%s", *p.image_base, *p.image_base == p.address ? "" : " (elsewhere)");
        else
            text += ": " + p.problem;
        text += format(", sum %02Xh", p.sum);
        if (p.checksum_expected) text += p.sum == 0 ? " (holds)" : " (does not hold)";
        line(out, text);
    }
}

void modules_section(std::string& out, const Inventory& inv) {
    line(out, "\nModules");
    line(out, "Row Offset   Type Kind             Option      Original  Packed CRC  Name");
    int chain_row = 0;
    int arena_row = 0;
    for (const Module& m : inv.modules) {
        const std::string label = row_label(m, chain_row, arena_row);
        line(out, format("%3s %08llX %04X %-16s %-11s %7X %7X %04X ", fit(label, 3).c_str(),
                         static_cast<unsigned long long>(m.info.offset), m.info.type_id,
                         fit(m.kind.name, 16).c_str(), fit(m.kind.option, 11).c_str(), m.info.original_size,
                         m.info.packed_size, m.check.crc16) +
                      base::printable(m.info.name));
        module_notes(out, m);
    }
}

void special_areas_section(std::string& out, const Inventory& inv) {
    if (!inv.microcode_area && !inv.top_hole) return;
    line(out, "\nSpecial areas");
    for (const auto& [name, area] :
         {std::pair{"Microcode area", &inv.microcode_area}, std::pair{"Top hole", &inv.top_hole}}) {
        if (!*area) continue;
        line(out, format("  %-15s %08llX %7Xh bytes  ", name,
                         static_cast<unsigned long long>((*area)->offset), (*area)->size) +
                      base::printable((*area)->trailer_name));
    }
}

void kilobytes_line(std::string& out, const char* label, std::uint32_t value) {
    line(out, format("  %s= %1X%04Xh(%.2fK)", label, value >> 16, value & 0xFFFF,
                     static_cast<double>(static_cast<float>(value) / 1024.0f)));
}

void space_section(std::string& out, const Inventory& inv) {
    const FreeSpace& s = inv.space;
    line(out, "\nSpace");
    line(out,
         format("  Chain end %08llX, module limit %08llX: %llXh bytes free",
                static_cast<unsigned long long>(s.chain_end), static_cast<unsigned long long>(s.module_limit),
                static_cast<unsigned long long>(s.module_limit > s.chain_end ? s.module_limit - s.chain_end
                                                                             : 0)));
    kilobytes_line(out, "Total compress code space  ", s.figures.total_space);
    kilobytes_line(out, "Total compressed code size ", s.figures.compressed_size);
    kilobytes_line(out, "Remain compress code space ", s.figures.remain);
    if (s.figures.top_hole_wasted)
        kilobytes_line(out, "Top Hole wasted code space ", *s.figures.top_hole_wasted);
}

void bootblock_section(std::string& out, const Inventory& inv) {
    const Bootblock& b = inv.bootblock;
    line(out, "\nBootblock");
    if (b.bbss)
        line(out, format("  *BBSS* at %08llX: words %04X %04X %04X %04X %04X, flag byte %02Xh",
                         static_cast<unsigned long long>(b.bbss->offset), b.bbss->region_word,
                         b.bbss->layout_word, b.bbss->limit_word, b.bbss->image_checksum_word,
                         b.bbss->microcode_word, b.bbss->flag_byte));
    else
        line(out, "  No *BBSS* record");
    for (const Bs1Record& r : b.bs1)
        line(out, format("  *BS1 at %08llX: size %02Xh, microcode %08X, PE32 sum %s, top hole %s",
                         static_cast<unsigned long long>(r.offset), r.size_code, r.microcode_address,
                         yes_no(r.pe32_checksum).c_str(), yes_no(r.top_hole).c_str()));
    if (b.checksum)
        line(out, format("  Checksum byte at %08llX: %02Xh; region %08llX, %Xh bytes, sums to %02Xh",
                         static_cast<unsigned long long>(b.checksum->offset), b.checksum->stored,
                         static_cast<unsigned long long>(b.checksum->region_base), b.checksum->region_length,
                         b.checksum->sum));
    if (b.vga_module)
        line(out, format("  On-board VGA module area %08llX-%08llX",
                         static_cast<unsigned long long>(b.vga_module->area.start),
                         static_cast<unsigned long long>(b.vga_module->area.end)));
    if (b.vga_rom) {
        line(out, format("  On-board VGA ROM area %08llX-%08llX%s",
                         static_cast<unsigned long long>(b.vga_rom->start),
                         static_cast<unsigned long long>(b.vga_rom->end), b.vga_rom->rom ? "" : ", no ROM"));
        if (b.vga_rom->rom) out += option_rom_lines(*b.vga_rom->rom, 4);
    }
    if (b.nv_memory) {
        std::string text =
            format("  nVidia memory area %08llX-%08llX", static_cast<unsigned long long>(b.nv_memory->start),
                   static_cast<unsigned long long>(b.nv_memory->end));
        if (b.nv_memory_id)
            for (const std::string& t : b.nv_memory_id->texts) text += " \"" + base::printable(t) + "\"";
        line(out, text);
    }
    if (b.pmu) {
        std::string text = format("  PMU place %04X:%04X, %u KiB", b.pmu->place.segment, b.pmu->place.offset,
                                  b.pmu->place.capacity_kib);
        if (b.pmu->rom) text += format(" at %08llX", static_cast<unsigned long long>(*b.pmu->rom));
        if (b.pmu->version) {
            const unsigned hi = b.pmu->version->high;
            const unsigned lo = b.pmu->version->low;
            text += format(", version %x%.2x (20%.2d/%.2d Build %.2d)", hi, lo, hi >> 4, hi & 0xF, lo);
        }
        line(out, text);
    }
    if (b.arena)
        line(out,
             format("  Arena %08llX-%08llX, free from %08llX%s",
                    static_cast<unsigned long long>(b.arena->arena.start),
                    static_cast<unsigned long long>(b.arena->arena.end),
                    static_cast<unsigned long long>(b.arena->free_slot), b.arena->full ? " (full)" : ""));
}

void holes_section(std::string& out, const Inventory& inv) {
    if (!inv.holes) return;
    const Holes& h = *inv.holes;
    line(out, "\nHoles");
    line(out, format("  Directory at %08llX, table at %08llX, %llXh bytes in all",
                     static_cast<unsigned long long>(h.directory), static_cast<unsigned long long>(h.table),
                     static_cast<unsigned long long>(h.total_size)));
    for (const HoleInfo& i : h.holes) {
        std::string text = format("  ID %04X at %08llX, %6llXh bytes", i.entry.id,
                                  static_cast<unsigned long long>(i.entry.start()),
                                  static_cast<unsigned long long>(i.entry.size()));
        if (i.record) text += format(": %Xh bytes of ", i.record->size) + base::printable(i.record->name);
        line(out, text);
        if (i.rom) out += option_rom_lines(*i.rom, 4);
    }
}

void boot_on_internet_section(std::string& out, const Inventory& inv) {
    if (!inv.boot_on_internet) return;
    const BootOnInternet& b = *inv.boot_on_internet;
    line(out, format("\nBoot On Internet at %08llX", static_cast<unsigned long long>(b.offset)));
    line(out, format("  %-11s %-24u %-11s %u", "Use DHCP", b.use_dhcp, "Use Proxy", b.use_proxy));
    line(out, format("  %-11s %-24s %-11s %s", "Server IP", dotted(b.server_ip).c_str(), "Static IP",
                     dotted(b.static_ip).c_str()));
    line(out, format("  %-11s %-24s %-11s %s", "Net Mask", dotted(b.net_mask).c_str(), "Gate Way",
                     dotted(b.gate_way).c_str()));
    line(out, format("  %-11s %-24s %-11s %s", "DNS", dotted(b.dns).c_str(), "Proxy IP",
                     dotted(b.proxy_ip).c_str()));
    line(out, format("  %-11s %04Xh", "Proxy Port", b.proxy_port));
}

// A place of microcode updates: where it lies and what it holds.
std::string microcode_place_text(const convert::PlaceUpdates& p) {
    using convert::MicrocodePlace;
    const auto at = static_cast<unsigned long long>(p.offset);
    const std::string updates =
        format("%zu update%s", p.found.updates.size(), p.found.updates.size() == 1 ? "" : "s");
    switch (p.place) {
        case MicrocodePlace::kBootblock:
            // Read up to its first blank record, as the /D table reads it.
            if (p.found.end == 0) return format("bootblock area at %08llX: blank", at);
            if (p.found.end == p.bytes.size())
                return format("bootblock area at %08llX, %zu bytes read: %s", at, p.bytes.size(),
                              updates.c_str());
            return format("bootblock area at %08llX, %llu bytes to its first blank record: %s", at,
                          static_cast<unsigned long long>(p.found.end), updates.c_str());
        case MicrocodePlace::kModule:
            if (p.unreadable) return format("module at %08llX: not unpacked", at);
            return format("module at %08llX, %zu bytes unpacked: %s", at, p.bytes.size(), updates.c_str());
        case MicrocodePlace::kUncompressed:
            return format("uncompressed area at %08llX, %zu bytes: %s", at, p.bytes.size(), updates.c_str());
    }
    return "";
}

// Under its place, one line an update (its number is its index in
// --microcode's listing; its offset counts from the place's start), then
// its notes.
void microcode_update_lines(std::string& out, std::size_t number, const convert::ListedUpdate& l) {
    const convert::Update& u = l.update;
    const auto at = static_cast<unsigned long long>(u.offset);
    const char* sum = u.checksum_holds ? "holds" : "FAILS";
    if (u.vendor == convert::Vendor::kIntel) {
        line(out, format("  %3zu %05llXh Intel %08X pf %02X rev %08X %-10s %5u %s", number, at, u.cpuid(),
                         u.platform_mask(), u.revision, microcode_date_text(u).c_str(), u.size, sum));
        for (std::size_t i = 1; i < u.signatures.size(); ++i)
            line(out, format("%salso for %08X pf %02X", kNoteIndent, u.signatures[i].cpuid,
                             u.signatures[i].platform_mask));
    } else {
        std::string text = format("  %3zu %05llXh AMD   %08X patch %08X", number, at, u.cpuid(), u.revision);
        if (u.north_bridge != 0 || u.south_bridge != 0)
            text += format(" bridges %08X %08X", u.north_bridge, u.south_bridge);
        line(out, text + format(" %5u %s", u.size, sum));
    }
    if (l.duplicate_of) line(out, format("%sduplicate of %zu", kNoteIndent, *l.duplicate_of + 1));
    if (l.superseded_by) line(out, format("%ssuperseded by %zu", kNoteIndent, *l.superseded_by + 1));
    if (l.legacy_unreached)
        line(out, std::string(kNoteIndent) + "not in the /D table: no record of it starts there");
    else if (l.legacy_size)
        line(out, std::string(kNoteIndent) + "not whole in the /D table: it steps over another length");
}

void microcode_section(std::string& out, const Inventory& inv) {
    const convert::ImageMicrocode& im = inv.microcode;
    line(out, "\nMicrocode updates");
    if (im.bridge_layout) line(out, "  bootblock area not read: a bridge-ID board");
    if (im.places.empty() && !im.bridge_layout) {
        line(out, "  None");
        return;
    }
    std::size_t number = 0;
    for (std::size_t i = 0; i < im.places.size(); ++i) {
        const convert::PlaceUpdates& p = im.places[i];
        line(out, "  " + microcode_place_text(p));
        for (const convert::ByteSpan& s : p.found.other)
            line(out, format("    %05llXh-%05llXh (%llu bytes) are not updates",
                             static_cast<unsigned long long>(s.offset),
                             static_cast<unsigned long long>(s.offset + s.length - 1),
                             static_cast<unsigned long long>(s.length)));
        for (; number < im.updates.size() && im.updates[number].place == i; ++number)
            microcode_update_lines(out, number + 1, im.updates[number]);
    }
}

}  // namespace

std::string fit(std::string text, std::size_t width) {
    if (text.size() > width) text.resize(width);
    return text;
}

std::string option_rom_lines(const OptionRom& rom, int indent) {
    std::string out;
    const std::string pad(static_cast<std::size_t>(indent), ' ');
    for (const OptionRomImage& i : rom.images) {
        line(out, pad +
                      format("option ROM at %04llX: %u blocks (%Xh bytes), ",
                             static_cast<unsigned long long>(i.offset), i.size_byte, i.size_byte * 512u) +
                      rom_sum_text(i));
        if (i.pci)
            line(out, pad + format("  PCI %04X:%04X, class %06X, revision %04X, code type %u%s",
                                   i.pci->vendor, i.pci->device, i.pci->class_code, i.pci->revision,
                                   i.pci->code_type, i.pci->last_image ? ", last image" : ""));
        if (i.pnp) {
            std::string text = pad + format("  PnP device %08X", i.pnp->device_id);
            if (i.pnp->manufacturer) text += " \"" + base::printable(*i.pnp->manufacturer) + "\"";
            if (i.pnp->product) text += " \"" + base::printable(*i.pnp->product) + "\"";
            line(out, text);
        }
    }
    return out;
}

std::string inventory_text(const Inventory& inv) {
    std::string out;
    header(out, inv);
    layout_section(out, inv);
    modules_section(out, inv);
    special_areas_section(out, inv);
    space_section(out, inv);
    bootblock_section(out, inv);
    holes_section(out, inv);
    boot_on_internet_section(out, inv);
    microcode_section(out, inv);
    return out;
}

}  // namespace kitra::inspect
