#include "inspect/inventory.h"

#include <algorithm>
#include <future>
#include <tuple>
#include <variant>

#include "base/crc32.h"
#include "cli/catalogue.h"
#include "image/listing_format.h"
#include "image/markers.h"
#include "image/records.h"
#include "regions/boot_on_internet.h"
#include "regions/bootblock_checksum.h"
#include "regions/bootblock_records.h"
#include "regions/pe32_checksum_flag.h"
#include "regions/pe32_image.h"

namespace kitra::inspect {

namespace {

using base::ByteView;
namespace line = regions::bootblock_line;

std::string trimmed(std::string name) {
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

// The kind of modules only the system BIOS has: named by its place.
ModuleKind system_bios_kind() {
    return {"System BIOS", "", ""};
}

std::optional<Pe32Facts> pe32_facts(ByteView image, const codec::ModuleInfo& m, const ModuleCheck& check,
                                    ModuleArea area) {
    if (!cli::is_position_dependent(m.type_id) || !check.contents) return std::nullopt;
    Pe32Facts f;
    const std::uint64_t data = m.offset + m.header_size + 2 + check.extension;
    f.address =
        image::rom_address_of(static_cast<std::uint32_t>(data), static_cast<std::uint32_t>(image.size()));
    f.sum = base::sum8(*check.contents);
    f.checksum_expected = area == ModuleArea::kChain && regions::pe32_checksum_flag(image);
    const auto pe = regions::read_pe32(*check.contents);
    if (const auto* read = std::get_if<regions::Pe32Image>(&pe))
        f.image_base = read->image_base;
    else
        f.problem = std::get<std::string>(pe);
    return f;
}

struct Reader {
    ByteView image;
    std::uint16_t microcode_type;
    std::uint64_t budget_total;
    std::uint64_t budget;  // unpacked bytes left
    bool unpack;           // the modules are unpacked
    bool keep_contents;
    std::vector<convert::UnpackedModule> microcode_modules;  // with what could be unpacked

    Module read(const codec::ModuleInfo& info, ModuleArea area, ModuleKind kind, bool system_bios = false) {
        Module m;
        m.area = area;
        m.system_bios = system_bios;
        m.info = info;
        m.kind = std::move(kind);
        m.attribute = image[info.offset + codec::field::kAttribute];
        m.level = image[info.offset + codec::field::kLevel];
        if (!unpack) {
            m.check = check_module(image, info, false);
            return m;
        }
        const bool within = info.original_size <= budget;
        m.check = check_module(image, info, within);
        if (within) {
            budget -= info.original_size;
        } else {
            m.check.problem = "not unpacked: the modules before it have used up the " +
                              std::to_string(budget_total) + " bytes they may unpack to in all";
        }
        if (m.check.contents) {
            const base::Bytes& contents = *m.check.contents;
            m.option_rom = read_option_rom(contents);
            if (cli::is_logo_type(info.type_id))
                m.bitmap_signature = convert::firmware_bitmap_signature(contents);
            m.pe32 = pe32_facts(image, info, m.check, area);
        }
        // The CPU microcode modules of the chain, as convert::microcode_modules finds them.
        if (area == ModuleArea::kChain && !system_bios && info.type_id == microcode_type)
            microcode_modules.push_back(
                {info, keep_contents ? m.check.contents : std::move(m.check.contents)});
        if (!keep_contents) m.check.contents.reset();
        return m;
    }
};

std::optional<SpecialArea> special_area(ByteView image, std::uint64_t offset, std::uint32_t size) {
    if (size == 0) return std::nullopt;
    const ByteView name =
        base::clipped(image, offset + size + image::trailer::kName, image::trailer::kNameLength);
    return SpecialArea{offset, size, image::c_string(base::text_of(name))};
}

std::optional<BootblockRecord> bootblock_record(ByteView image, const image::Layout& l) {
    namespace bbss = image::bbss;
    if (!l.bbss_found) return std::nullopt;
    BootblockRecord r;
    r.offset = l.bbss_offset;
    const auto word = [&](std::uint64_t field) {
        return base::try_read_u16(image, r.offset + field).value_or(0);
    };
    if (r.offset >= bbss::kFlagByteBefore) r.flag_byte = image[r.offset - bbss::kFlagByteBefore];
    r.region_word = word(bbss::kRegionWord);
    r.layout_word = word(bbss::kLayoutWord);
    r.limit_word = word(bbss::kLimitWord);
    r.image_checksum_word = word(bbss::kImageChecksumWord);
    r.microcode_word = word(bbss::kMicrocodeWord);
    return r;
}

std::vector<Bs1Record> bs1_records(ByteView image) {
    namespace bs1 = image::bs1;
    std::vector<Bs1Record> out;
    for (const std::uint64_t at : image::find_bs1_records(image)) {
        Bs1Record r;
        r.offset = at;
        const ByteView b = base::clipped(image, at, bs1::kFlags + 1);
        if (b.size() > bs1::kSizeCode) r.size_code = b[bs1::kSizeCode];
        if (b.size() > bs1::kPe32Flags) r.pe32_checksum = (b[bs1::kPe32Flags] & bs1::kPe32ChecksumBit) != 0;
        r.microcode_address = base::try_read_u32(b, bs1::kMicrocodeAddress).value_or(0);
        if (b.size() > bs1::kFlags) r.top_hole = (b[bs1::kFlags] & bs1::kTopHoleBit) != 0;
        out.push_back(r);
    }
    return out;
}

std::optional<BootblockChecksumByte> checksum_byte(ByteView image) {
    const auto found = regions::locate_bootblock_checksum(image, regions::bootblock_search_start(image));
    const auto* at = std::get_if<regions::BootblockChecksum>(&found);
    if (at == nullptr) return std::nullopt;
    BootblockChecksumByte c;
    c.region_base = at->region_base;
    c.region_length = at->region_length;
    c.offset = at->checksum_offset;
    c.stored = base::read_u8(image, at->checksum_offset);
    c.sum = base::sum8(base::slice(image, at->region_base, at->region_length - 1u));
    return c;
}

void read_bootblock(Reader& r, Inventory& inv) {
    const ByteView image = r.image;
    Bootblock& b = inv.bootblock;
    b.bbss = bootblock_record(image, inv.layout);
    b.bs1 = bs1_records(image);
    b.checksum = checksum_byte(image);
    if (const auto at = regions::bootblock_marker_line(image, line::kVgaRomMarker)) {
        VgaRomArea v{
            *at, *at + line::kSize, image::base_window_start(image.size()) + line::kVgaRomAreaEnd, {}};
        if (v.start < v.end) v.rom = read_option_rom(base::slice(image, v.start, v.end - v.start));
        b.vga_rom = v;
    }
    if (const auto at = regions::bootblock_marker_line(image, line::kVgaModuleMarker)) {
        b.vga_module =
            VgaModuleArea{*at, regions::read_marked_area(image, *at, line::kVgaStart, line::kVgaEnd)};
        if (const auto m = codec::module_at(image, b.vga_module->area.start))
            inv.modules.push_back(r.read(*m, ModuleArea::kBootblockVga,
                                         module_kind(ModuleArea::kBootblockVga, m->type_id, m->type_suffix)));
    }
    if (const auto at = regions::bootblock_marker_line(image, line::kNvMemoryMarker))
        b.nv_memory = regions::read_marked_area(image, *at, line::kNvMemoryStart, line::kNvMemoryEnd);
    b.nv_memory_id = regions::nv_memory_identification(image);
    if (const auto at = regions::bootblock_marker_line(image, line::kPmuMarker)) {
        PmuInfo p{*at, regions::read_pmu_place(image, *at), {}, regions::read_pmu_version(image)};
        p.rom = regions::pmu_file_offset(image.size(), p.place.segment, p.place.offset);
        b.pmu = p;
    }
    if (const auto arena = regions::find_arena(image)) {
        const regions::ArenaWalk walk = regions::walk_arena(image, *arena);
        b.arena = ArenaInfo{*arena, walk.free_slot, walk.full};
        for (const std::uint64_t slot : walk.modules)
            if (const auto m = codec::module_at(image, slot))
                inv.modules.push_back(r.read(*m, ModuleArea::kArena,
                                             module_kind(ModuleArea::kArena, m->type_id, m->type_suffix)));
    }
}

std::optional<Holes> read_holes(ByteView image) {
    const auto dir = regions::find_hole_directory(image);
    if (!dir) return std::nullopt;
    Holes h{dir->offset, dir->total_size(), dir->table(), {}, regions::hole_records(image, *dir)};
    for (const regions::HoleEntry& e : regions::hole_entries(*dir)) {
        HoleInfo info{e, {}, {}};
        const auto record = std::find_if(h.records.begin(), h.records.end(),
                                         [&](const regions::HoleRecord& r) { return r.id == e.id; });
        if (record != h.records.end()) {
            info.record = *record;
            const std::uint64_t size = std::min<std::uint64_t>(record->size, e.size());
            if (base::in_range(image, e.start(), size))
                info.rom = read_option_rom(base::slice(image, e.start(), size));
        }
        h.holes.push_back(std::move(info));
    }
    return h;
}

std::optional<BootOnInternet> read_boot_on_internet(ByteView image) {
    namespace boi = regions::boi;
    const auto at = regions::find_boot_on_internet(image);
    if (!at) return std::nullopt;
    const ByteView block = base::slice(image, *at, boi::kSize);
    const auto address = [&](std::uint64_t field) {
        return std::array<std::uint8_t, 4>{block[field], block[field + 1], block[field + 2],
                                           block[field + 3]};
    };
    BootOnInternet v;
    v.offset = *at;
    v.use_dhcp = block[boi::kUseDhcp];
    v.server_ip = address(boi::kServerIp);
    v.static_ip = address(boi::kStaticIp);
    v.net_mask = address(boi::kNetMask);
    v.gate_way = address(boi::kGateWay);
    v.dns = address(boi::kDns);
    v.use_proxy = block[boi::kUseProxy];
    v.proxy_ip = address(boi::kProxyIp);
    v.proxy_port = base::read_u16(block, boi::kProxyPort);
    return v;
}

}  // namespace

const char* area_word(ModuleArea area) {
    switch (area) {
        case ModuleArea::kChain:
            return "chain";
        case ModuleArea::kBootblockVga:
            return "bootblock-vga";
        case ModuleArea::kArena:
            return "arena";
    }
    return "";
}

ModuleKind module_kind(ModuleArea area, std::uint16_t type_id, std::uint16_t suffix) {
    if (area == ModuleArea::kBootblockVga) return {"Compress BT-VGA", "/btvga", ""};
    if (area == ModuleArea::kArena) {
        const cli::CatalogueEntry* e = cli::option_for_type(type_id, true);
        return {trimmed(cli::bootblock_listing_name(type_id, suffix)), e ? std::string(e->option) : "", ""};
    }
    ModuleKind k{trimmed(cli::listing_name(type_id, suffix)), "/other", ""};
    const cli::CatalogueEntry* e = cli::option_for_type(type_id, false);
    if (e == nullptr) return k;
    k.option = e->option;
    if (e->listing == cli::Listing::kFamily) {
        const cli::Family family = cli::family_of_type(type_id);
        if (family == cli::Family::kGroup) {
            k.slot = std::to_string(type_id - cli::family_range(family).first);
            k.option += k.slot;
        } else {
            k.slot = std::string(1, cli::slot_letter(family, type_id));
        }
    }
    return k;
}

Inventory take_inventory(const std::string& name, ByteView image, const image::Layout& layout,
                         const InventoryOptions& options) {
    Inventory inv;
    inv.name = name;
    inv.length = image.size();
    inv.layout = layout;
    // The whole image's digests take a second core while the modules are
    // unpacked on this one: they read the image only.
    std::future<std::pair<std::uint32_t, base::Sha256Digest>> digests;
    if (options.digests)
        digests = std::async(std::launch::async, [image] {
            return std::pair{base::crc32(image), base::sha256(image)};
        });
    const std::uint64_t budget =
        options.unpack_budget != 0
            ? options.unpack_budget
            : std::max<std::uint64_t>(kMinimumUnpackBudget, kUnpackBudgetPerByte * image.size());
    Reader r{image,
             cli::entry_for_code(cli::lookup_option("/cpucode"))->type_id,
             budget,
             budget,
             options.contents,
             options.keep_contents,
             {}};

    inv.space.figures = listing::space_figures(image, layout);
    if (const auto bios = codec::module_at(image, inv.space.figures.system_bios_at)) {
        inv.modules.push_back(r.read(*bios, ModuleArea::kChain, system_bios_kind(), true));
    }
    inv.space.chain_end = layout.walk_start;
    for (const codec::ModuleInfo& m : image::listed_modules(image, layout)) {
        inv.modules.push_back(
            r.read(m, ModuleArea::kChain, module_kind(ModuleArea::kChain, m.type_id, m.type_suffix)));
        inv.space.chain_end = m.offset + m.step();
    }
    inv.space.module_limit = image::module_limit(layout);
    inv.microcode_area = special_area(image, layout.ncpucode_offset, layout.ncpucode_size);
    inv.top_hole = special_area(image, layout.top_hole_start, layout.top_hole_size);

    read_bootblock(r, inv);
    inv.holes = read_holes(image);
    inv.boot_on_internet = read_boot_on_internet(image);

    // The modules unpacked above, read as --microcode reads them.
    inv.microcode = convert::image_microcode(image, layout, std::move(r.microcode_modules));
    if (digests.valid()) std::tie(inv.crc32, inv.sha256) = digests.get();
    return inv;
}

}  // namespace kitra::inspect
