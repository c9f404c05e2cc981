#include "inspect/diff.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

#include "base/json.h"
#include "base/text.h"
#include "cli/catalogue.h"
#include "inspect/image_regions.h"
#include "inspect/inventory_json.h"
#include "inspect/inventory_text.h"
#include "inspect/microcode_updates.h"

namespace kitra::inspect {

namespace {

using base::ByteView;
using base::format;

// Differing bytes closer than this are one range.
constexpr std::uint64_t kRangeGap = 16;
constexpr std::size_t kWidth = platform::kConsoleWidth;

// What matches a module with its counterpart: its area and kind, and how
// many of that kind came before it. An ISA ROM's suffix holds its segment,
// not its kind.
using ModuleKey = std::tuple<int, bool, std::uint16_t, std::uint16_t, int>;

std::vector<ModuleKey> module_keys(const Inventory& inv) {
    std::map<std::tuple<int, bool, std::uint16_t, std::uint16_t>, int> seen;
    std::vector<ModuleKey> keys;
    for (const Module& m : inv.modules) {
        const std::uint16_t suffix =
            cli::family_of_type(m.info.type_id) == cli::Family::kIsa ? 0 : m.info.type_suffix;
        const auto kind = std::make_tuple(static_cast<int>(m.area), m.system_bios, m.info.type_id, suffix);
        keys.emplace_back(static_cast<int>(m.area), m.system_bios, m.info.type_id, suffix, seen[kind]++);
    }
    return keys;
}

ModuleSide side_of(const Module& m) {
    return {m.info.offset,        m.info.step(),      m.info.name,
            m.info.original_size, m.info.packed_size, m.check.crc16};
}

ByteView module_bytes(ByteView image, const Module& m) {
    return base::slice(image, m.info.offset, m.info.length());
}

ByteView module_data(ByteView image, const Module& m) {
    const std::uint64_t header = std::uint64_t{m.info.header_size} + 2;
    return base::slice(image, m.info.offset + header, m.info.length() - header);
}

std::optional<RomIdentity> rom_identity(const std::optional<OptionRom>& rom) {
    if (!rom || rom->images.empty() || !rom->images.front().pci) return std::nullopt;
    const PciData& p = *rom->images.front().pci;
    return RomIdentity{p.vendor, p.device, p.class_code, p.revision};
}

void compare_roms(Difference& d, const std::string& subject, const std::optional<OptionRom>& a,
                  const std::optional<OptionRom>& b) {
    const auto x = rom_identity(a);
    const auto y = rom_identity(b);
    if (!x || !y) return;
    const bool identity = x->vendor != y->vendor || x->device != y->device || x->class_code != y->class_code;
    if (identity || x->revision != y->revision) d.option_roms.push_back({identity, subject, *x, *y});
}

// The contents of both sides, unpacked again, compared.
void compare_contents(ModuleDifference& md, ByteView a, const Module& ma, ByteView b, const Module& mb) {
    // A side the inventory could not unpack is not unpacked again.
    if (!ma.check.problem.empty() || !mb.check.problem.empty()) {
        md.change = ModuleChange::kChanged;
        md.problem = !ma.check.problem.empty() ? "the old module: " + ma.check.problem
                                               : "the new module: " + mb.check.problem;
        return;
    }
    const ModuleCheck x = check_module(a, ma.info);
    const ModuleCheck y = check_module(b, mb.info);
    if (!x.contents || !y.contents) {
        md.change = ModuleChange::kChanged;
        md.problem = !x.contents ? "the old module does not unpack (" + x.problem + ")"
                                 : "the new module does not unpack (" + y.problem + ")";
        return;
    }
    const base::Bytes& p = *x.contents;
    const base::Bytes& q = *y.contents;
    if (p == q) {
        md.change = ModuleChange::kRepacked;
        return;
    }
    md.change = ModuleChange::kChanged;
    const std::size_t common = std::min(p.size(), q.size());
    std::uint64_t differ = std::max(p.size(), q.size()) - common;
    for (std::size_t i = 0; i < common; ++i) {
        if (p[i] == q[i]) continue;
        if (!md.first_difference) md.first_difference = i;
        ++differ;
    }
    if (!md.first_difference) md.first_difference = common;
    md.differing_bytes = differ;
}

void compare_modules(Difference& d, ByteView a, const Inventory& ia, ByteView b, const Inventory& ib) {
    const std::vector<ModuleKey> ka = module_keys(ia);
    const std::vector<ModuleKey> kb = module_keys(ib);
    std::map<ModuleKey, std::size_t> in_b;
    for (std::size_t i = 0; i < kb.size(); ++i) in_b[kb[i]] = i;
    std::vector<bool> matched(kb.size(), false);
    const auto base_difference = [](const Module& m) {
        ModuleDifference md;
        md.area = m.area;
        md.system_bios = m.system_bios;
        md.type_id = m.info.type_id;
        md.kind = m.kind;
        return md;
    };
    for (std::size_t i = 0; i < ka.size(); ++i) {
        const Module& ma = ia.modules[i];
        const auto found = in_b.find(ka[i]);
        if (found == in_b.end()) {
            ModuleDifference md = base_difference(ma);
            md.change = ModuleChange::kRemoved;
            md.old_side = side_of(ma);
            d.modules.push_back(std::move(md));
            continue;
        }
        matched[found->second] = true;
        const Module& mb = ib.modules[found->second];
        ModuleDifference md = base_difference(mb);
        md.old_side = side_of(ma);
        md.new_side = side_of(mb);
        md.moved = ma.info.offset != mb.info.offset;
        const std::string subject = ma.system_bios ? "system BIOS module"
                                    : ma.area == ModuleArea::kChain
                                        ? "module " + mb.kind.name
                                        : std::string(area_word(ma.area)) + " module " + mb.kind.name;
        compare_roms(d, subject, ma.option_rom, mb.option_rom);
        const ByteView x = module_bytes(a, ma);
        const ByteView y = module_bytes(b, mb);
        if (std::equal(x.begin(), x.end(), y.begin(), y.end())) {
            if (!md.moved) continue;
            md.change = ModuleChange::kMoved;
            md.moved = false;
        } else if (const ByteView p = module_data(a, ma), q = module_data(b, mb);
                   std::equal(p.begin(), p.end(), q.begin(), q.end())) {
            md.change = ModuleChange::kHeader;
        } else {
            compare_contents(md, a, ma, b, mb);
        }
        d.modules.push_back(std::move(md));
    }
    for (std::size_t i = 0; i < kb.size(); ++i) {
        if (matched[i]) continue;
        ModuleDifference md = base_difference(ib.modules[i]);
        md.change = ModuleChange::kAdded;
        md.new_side = side_of(ib.modules[i]);
        d.modules.push_back(std::move(md));
    }
}

void compare_other_roms(Difference& d, const Inventory& a, const Inventory& b) {
    if (a.bootblock.vga_rom && b.bootblock.vga_rom)
        compare_roms(d, "bootblock VGA ROM area", a.bootblock.vga_rom->rom, b.bootblock.vga_rom->rom);
    if (!a.holes || !b.holes) return;
    for (const HoleInfo& x : a.holes->holes)
        for (const HoleInfo& y : b.holes->holes)
            if (x.entry.id == y.entry.id) compare_roms(d, format("hole ID %04X", x.entry.id), x.rom, y.rom);
}

// An update is the same one on both sides when it is for the same
// processor (the CPUID and platform-ID mask of its header; an AMD patch's
// processor revision and bridges); what it brings for it may change. The
// n-th update for a processor is matched with the n-th.
using UpdateKey = std::tuple<convert::Vendor, std::uint32_t, std::uint32_t, std::uint32_t, int>;

std::vector<UpdateKey> update_keys(const convert::ImageMicrocode& im) {
    std::map<std::tuple<convert::Vendor, std::uint32_t, std::uint32_t, std::uint32_t>, int> seen;
    std::vector<UpdateKey> keys;
    for (const convert::ListedUpdate& l : im.updates) {
        const convert::Update& u = l.update;
        const bool intel = u.vendor == convert::Vendor::kIntel;
        const auto k = std::make_tuple(u.vendor, u.cpuid(), intel ? u.platform_mask() : u.north_bridge,
                                       intel ? 0u : u.south_bridge);
        keys.emplace_back(std::get<0>(k), std::get<1>(k), std::get<2>(k), std::get<3>(k), seen[k]++);
    }
    return keys;
}

bool same_update(const DiffUpdate& x, const DiffUpdate& y) {
    const convert::Update& a = x.update.update;
    const convert::Update& b = y.update.update;
    return a.revision == b.revision && a.date == b.date && a.size == b.size &&
           a.checksum_holds == b.checksum_holds && a.signatures == b.signatures && x.place == y.place;
}

DiffUpdate listed(const convert::ImageMicrocode& im, std::size_t i) {
    return {i + 1, im.places[im.updates[i].place].place, im.updates[i]};
}

void compare_microcode(Difference& d, const Inventory& a, const Inventory& b) {
    const std::vector<UpdateKey> ka = update_keys(a.microcode);
    const std::vector<UpdateKey> kb = update_keys(b.microcode);
    std::map<UpdateKey, std::size_t> in_b;
    for (std::size_t i = 0; i < kb.size(); ++i) in_b[kb[i]] = i;
    std::vector<bool> matched(kb.size(), false);
    for (std::size_t i = 0; i < ka.size(); ++i) {
        const DiffUpdate x = listed(a.microcode, i);
        const auto found = in_b.find(ka[i]);
        if (found == in_b.end()) {
            d.microcode.push_back({UpdateChange::kRemoved, x, std::nullopt});
            continue;
        }
        matched[found->second] = true;
        const DiffUpdate y = listed(b.microcode, found->second);
        if (!same_update(x, y)) d.microcode.push_back({UpdateChange::kChanged, x, y});
    }
    for (std::size_t i = 0; i < kb.size(); ++i)
        if (!matched[i]) d.microcode.push_back({UpdateChange::kAdded, std::nullopt, listed(b.microcode, i)});
}

// The bytes of either image that a module holds (with its separator byte).
std::vector<std::pair<std::uint64_t, std::uint64_t>> module_spans(const Inventory& a, const Inventory& b) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;
    for (const Inventory* inv : {&a, &b})
        for (const Module& m : inv->modules) spans.emplace_back(m.info.offset, m.info.offset + m.info.step());
    std::sort(spans.begin(), spans.end());
    std::vector<std::pair<std::uint64_t, std::uint64_t>> merged;
    for (const auto& s : spans) {
        if (!merged.empty() && s.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, s.second);
        else
            merged.push_back(s);
    }
    return merged;
}

void compare_ranges(Difference& d, ByteView a, const Inventory& ia, ByteView b, const Inventory& ib) {
    const std::vector<NamedRegion> regions = named_regions(ia);
    const auto spans = module_spans(ia, ib);
    const std::uint64_t common = std::min(a.size(), b.size());
    std::size_t next_span = 0;
    std::uint64_t at = 0;
    while (at < common) {
        while (next_span < spans.size() && spans[next_span].second <= at) ++next_span;
        if (next_span < spans.size() && spans[next_span].first <= at) {
            at = spans[next_span].second;
            continue;
        }
        std::uint64_t end = next_span < spans.size() ? std::min(spans[next_span].first, common) : common;
        std::uint64_t stretch_end = 0;
        const std::string name = region_name(regions, at, end, stretch_end);
        end = stretch_end;
        // The differing bytes of [at, end), as ranges.
        std::optional<RangeDifference> run;
        for (std::uint64_t i = at; i < end; ++i) {
            constexpr std::uint64_t kChunk = 64;
            if (i % kChunk == 0 && end - i >= kChunk &&
                std::memcmp(a.data() + i, b.data() + i, kChunk) == 0) {
                i += kChunk - 1;
                continue;
            }
            if (a[i] == b[i]) continue;
            if (run && i - (run->offset + run->length) < kRangeGap) {
                run->length = i + 1 - run->offset;
                ++run->differing;
                continue;
            }
            if (run) d.ranges.push_back(*run);
            run = RangeDifference{i, 1, 1, name};
        }
        if (run) d.ranges.push_back(*run);
        at = end;
    }
    if (a.size() != b.size()) {
        const std::uint64_t longer = std::max(a.size(), b.size());
        d.ranges.push_back({common, longer - common, longer - common, "past the end of the shorter image"});
    }
}

const char* change_word(ModuleChange c) {
    switch (c) {
        case ModuleChange::kAdded:
            return "added";
        case ModuleChange::kRemoved:
            return "removed";
        case ModuleChange::kMoved:
            return "moved";
        case ModuleChange::kHeader:
            return "header";
        case ModuleChange::kRepacked:
            return "repacked";
        case ModuleChange::kChanged:
            return "changed";
    }
    return "";
}

const char* update_word(UpdateChange c) {
    switch (c) {
        case UpdateChange::kAdded:
            return "added";
        case UpdateChange::kRemoved:
            return "removed";
        case UpdateChange::kChanged:
            return "changed";
    }
    return "";
}

std::string hex_offset(std::uint64_t offset) {
    return format("%08llX", static_cast<unsigned long long>(offset));
}

void line(std::string& out, const std::string& text) {
    out += fit(text, kWidth) + "\n";
}

std::string module_detail(const ModuleDifference& m) {
    const ModuleSide& s = m.new_side ? *m.new_side : *m.old_side;
    switch (m.change) {
        case ModuleChange::kAdded:
            return format("at %s, %Xh bytes", hex_offset(s.offset).c_str(), s.original_size);
        case ModuleChange::kRemoved:
            return format("was at %s, %Xh bytes", hex_offset(s.offset).c_str(), s.original_size);
        case ModuleChange::kMoved:
            return hex_offset(m.old_side->offset) + " -> " + hex_offset(m.new_side->offset);
        case ModuleChange::kHeader:
            return "same data, other header";
        case ModuleChange::kRepacked:
            return "same contents, other stream";
        case ModuleChange::kChanged:
            if (!m.problem.empty()) return m.problem;
            return format("from %llXh, %llu bytes differ",
                          static_cast<unsigned long long>(m.first_difference.value_or(0)),
                          static_cast<unsigned long long>(m.differing_bytes));
    }
    return "";
}

std::string update_text(const DiffUpdate& l) {
    const convert::Update& u = l.update.update;
    if (u.vendor == convert::Vendor::kIntel)
        return format("Intel %08X pf %02X rev %08X %s", u.cpuid(), u.platform_mask(), u.revision,
                      microcode_date_text(u).c_str());
    return format("AMD %08X patch %08X", u.cpuid(), u.revision);
}

std::string rom_text(const RomIdentity& r) {
    return format("%04X:%04X class %06X rev %04X", r.vendor, r.device, r.class_code, r.revision);
}

void write_side(base::JsonWriter& w, std::string_view key, const std::optional<ModuleSide>& s) {
    w.key(key);
    if (!s) {
        w.null();
        return;
    }
    w.begin_object().member("offset", s->offset).member("name", s->name);
    w.member("original_size", s->original_size).member("packed_size", s->packed_size);
    member_hex(w, "crc16", s->crc16, 4);
    w.end_object();
}

void write_rom(base::JsonWriter& w, std::string_view key, const RomIdentity& r) {
    w.key(key).begin_object();
    member_hex(w, "vendor", r.vendor, 4);
    member_hex(w, "device", r.device, 4);
    member_hex(w, "class_code", r.class_code, 6);
    member_hex(w, "revision", r.revision, 4);
    w.end_object();
}

void write_update(base::JsonWriter& w, std::string_view key, const std::optional<DiffUpdate>& u) {
    w.key(key);
    if (u)
        write_microcode_update(w, u->number, u->update, u->place);
    else
        w.null();
}

}  // namespace

Difference diff_images(const DiffSide& old_image, const DiffSide& new_image, const DiffOptions& options) {
    const ByteView a = old_image.bytes;
    const ByteView b = new_image.bytes;
    const InventoryOptions taken{
        .digests = options.unpack, .unpack_budget = options.unpack_budget, .contents = options.unpack};
    const Inventory ia = take_inventory(old_image.name, a, old_image.layout, taken);
    const Inventory ib = take_inventory(new_image.name, b, new_image.layout, taken);
    Difference d;
    d.old_name = old_image.name;
    d.new_name = new_image.name;
    d.old_length = a.size();
    d.new_length = b.size();
    d.old_sha256 = ia.sha256;
    d.new_sha256 = ib.sha256;
    d.equal = std::equal(a.begin(), a.end(), b.begin(), b.end());
    if (d.equal) return d;
    compare_modules(d, a, ia, b, ib);
    compare_other_roms(d, ia, ib);
    compare_microcode(d, ia, ib);
    compare_ranges(d, a, ia, b, ib);
    return d;
}

std::string difference_text(const Difference& d) {
    std::string out;
    line(out, format("--- %s (%llu bytes)", base::printable(d.old_name).c_str(),
                     static_cast<unsigned long long>(d.old_length)));
    line(out, format("+++ %s (%llu bytes)", base::printable(d.new_name).c_str(),
                     static_cast<unsigned long long>(d.new_length)));
    if (!d.modules.empty()) {
        line(out, "Modules");
        for (const ModuleDifference& m : d.modules) {
            const ModuleSide& s = m.new_side ? *m.new_side : *m.old_side;
            const std::string area = m.area == ModuleArea::kChain ? "" : area_word(m.area) + std::string(" ");
            line(out, format("  %-8s %04X %-16s %-14s ", change_word(m.change), m.type_id,
                             fit(m.kind.name, 16).c_str(), fit(base::printable(s.name), 14).c_str()) +
                          area + module_detail(m));
            if (m.moved)
                line(out, "           at " + hex_offset(m.new_side->offset) + ", was at " +
                              hex_offset(m.old_side->offset));
            if (m.change == ModuleChange::kChanged && m.old_side->original_size != m.new_side->original_size)
                line(out, format("           %Xh bytes unpacked, were %Xh", m.new_side->original_size,
                                 m.old_side->original_size));
        }
    }
    if (!d.option_roms.empty()) {
        line(out, "Option ROMs");
        for (const RomDifference& r : d.option_roms) {
            line(out, format("  %-8s %s", r.identity ? "identity" : "version", r.subject.c_str()));
            line(out, "           " + rom_text(r.old_rom) + " -> " + rom_text(r.new_rom));
        }
    }
    if (!d.microcode.empty()) {
        line(out, "Microcode updates");
        for (const MicrocodeDifference& u : d.microcode) {
            const DiffUpdate& shown = u.new_update ? *u.new_update : *u.old_update;
            line(out, format("  %-8s %s", update_word(u.change), update_text(shown).c_str()));
            if (u.change == UpdateChange::kChanged) line(out, "           was " + update_text(*u.old_update));
        }
    }
    if (!d.ranges.empty()) {
        line(out, "Other bytes");
        for (const RangeDifference& r : d.ranges)
            line(out, format("  %s-%s %-28s %llu of %llu bytes differ", hex_offset(r.offset).c_str(),
                             hex_offset(r.offset + r.length - 1).c_str(), fit(r.region, 28).c_str(),
                             static_cast<unsigned long long>(r.differing),
                             static_cast<unsigned long long>(r.length)));
    }
    if (d.equal) return out + "The images are equal.\n";
    const std::size_t n = d.modules.size() + d.option_roms.size() + d.microcode.size() + d.ranges.size();
    return out + format("The images differ: %zu difference%s.\n", n, n == 1 ? "" : "s");
}

std::string difference_json(const Difference& d) {
    base::JsonWriter w;
    w.begin_object().member("schema", kDiffSchema).key("images").begin_object();
    for (const auto& [key, name, length, sha] :
         {std::tuple{"old", &d.old_name, d.old_length, &d.old_sha256},
          std::tuple{"new", &d.new_name, d.new_length, &d.new_sha256}}) {
        w.key(key).begin_object().member("name", *name).member("length", length);
        w.member("sha256", base::sha256_text(*sha)).end_object();
    }
    w.end_object().member("equal", d.equal).key("modules").begin_array();
    for (const ModuleDifference& m : d.modules) {
        w.begin_object().member("change", change_word(m.change)).member("area", area_word(m.area));
        w.member("system_bios", m.system_bios);
        member_hex(w, "type_id", m.type_id, 4);
        w.key("kind");
        write_kind(w, m.kind);
        w.member("moved", m.moved);
        write_side(w, "old", m.old_side);
        write_side(w, "new", m.new_side);
        w.key("first_difference");
        if (m.first_difference)
            w.value(*m.first_difference).member("differing_bytes", m.differing_bytes);
        else
            w.null().key("differing_bytes").null();
        w.key("problem");
        if (m.problem.empty())
            w.null();
        else
            w.value(m.problem);
        w.end_object();
    }
    w.end_array().key("option_roms").begin_array();
    for (const RomDifference& r : d.option_roms) {
        w.begin_object().member("change", r.identity ? "identity" : "version").member("subject", r.subject);
        write_rom(w, "old", r.old_rom);
        write_rom(w, "new", r.new_rom);
        w.end_object();
    }
    w.end_array().key("microcode").begin_array();
    for (const MicrocodeDifference& u : d.microcode) {
        w.begin_object().member("change", update_word(u.change));
        write_update(w, "old", u.old_update);
        write_update(w, "new", u.new_update);
        w.end_object();
    }
    w.end_array().key("ranges").begin_array();
    for (const RangeDifference& r : d.ranges) {
        w.begin_object().member("offset", r.offset).member("length", r.length);
        w.member("differing_bytes", r.differing).member("region", r.region).end_object();
    }
    w.end_array().end_object();
    return w.text();
}

}  // namespace kitra::inspect
