#include "folder/unpack.h"

#include <algorithm>

#include "base/sha256.h"
#include "base/text.h"
#include "cli/catalogue.h"
#include "folder/body.h"
#include "folder/file_names.h"
#include "folder/module_bytes.h"
#include "image/records.h"
#include "inspect/image_regions.h"
#include "inspect/inventory.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "regions/pe32_checksum_flag.h"

namespace kitra::folder {

namespace {

using base::ByteView;
using inspect::Inventory;
using inspect::ModuleArea;

// A file larger than this is not taken for a manifest when a folder is
// unpacked into again.
constexpr std::uint64_t kMaxManifestSize = 64u << 20;

std::string sha256_of(ByteView bytes) {
    return base::sha256_text(base::sha256(bytes));
}

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

Area area_of(ModuleArea area) {
    switch (area) {
        case ModuleArea::kChain:
            return Area::kChain;
        case ModuleArea::kArena:
            return Area::kArena;
        case ModuleArea::kBootblockVga:
            return Area::kBootblockVga;
    }
    return Area::kChain;
}

// The option whose rules a changed module of this area and type is packed
// by: the catalogue's, for the chain only one that adds to the chain.
std::string option_of(Area area, std::uint16_t type_id) {
    switch (area) {
        case Area::kChain: {
            const cli::CatalogueEntry* e = cli::option_for_type(type_id, false);
            return e && e->kind.place == cli::Place::kChain ? std::string(e->option) : "/other";
        }
        case Area::kArena: {
            const cli::CatalogueEntry* e = cli::option_for_type(type_id, true);
            return e ? std::string(e->option) : "";
        }
        case Area::kBootblockVga:
            return "/btvga";
    }
    return "";
}

// "modules/pci-B-raid.rom": the option, the slot of a family, the name.
std::string module_file_name(const inspect::Module& m, const std::string& option) {
    std::string word;
    if (option.empty() || option == "/other")
        word = base::format(m.area == ModuleArea::kArena ? "arena-other-%04X" : "other-%04X", m.info.type_id);
    else
        word = lower(option.substr(1));
    if (!m.kind.slot.empty()) word += "-" + m.kind.slot;
    return "modules/" + word + "-" + cleaned_name(m.info.name);
}

// A module part: where it lies in the image.
struct Part {
    inspect::Module* module = nullptr;  // its contents are moved into its file
    bool body = false;
    std::uint64_t offset = 0;
    std::uint64_t end = 0;  // past its separator, when that is its
};

struct Maker {
    ByteView image;
    Unpacked& out;
    UniqueNames names;
    bool pe32_flag = false;

    void add_file(const std::string& name, base::Bytes bytes) {
        out.files.push_back({name, std::move(bytes)});
    }

    ModuleEntry module_entry(const Part& p) {
        inspect::Module& mod = *p.module;
        const codec::ModuleInfo& i = mod.info;
        ModuleEntry e;
        e.offset = i.offset;
        e.area = area_of(mod.area);
        e.kind = mod.kind.name;
        e.option = p.body ? "" : option_of(e.area, i.type_id);
        e.file = names.take(p.body ? "body.bin" : module_file_name(mod, e.option));
        e.name = i.name;
        e.type_id = i.type_id;
        e.type_suffix = i.type_suffix;
        e.method = mod.check.method;
        e.header_size = i.header_size;
        e.attribute = mod.attribute;
        e.level = mod.level;
        const std::uint64_t os_at = i.offset + codec::field::kName + i.name.size() + 2;
        e.os = os_at < i.offset + i.header_size + 2 ? image[os_at] : 0x20;
        e.padding = mod.check.extension;
        e.crc16 = mod.check.crc16;
        e.original_size = i.original_size;
        e.packed_size = i.packed_size;
        if (p.end > i.offset + i.length()) e.separator = image[i.offset + i.length()];

        const ByteView lay = base::slice(image, i.offset, i.length());
        const ByteView data = lay.subspan(std::uint64_t{i.header_size} + 2);
        base::Bytes file;
        if (mod.check.contents) {
            file = std::move(*mod.check.contents);
            // A PE32 image of the chain carries a last byte that makes its sum
            // 0 while "*BS1" says so: its file is the image without it, as an
            // extract writes it, and packing it again adds it again.
            if (e.area == Area::kChain && cli::is_position_dependent(i.type_id) && pe32_flag &&
                !file.empty()) {
                e.checksum_byte = file.back();
                file.pop_back();
            }
            if (!mod.check.crc16_holds())
                out.notes.push_back(base::format(
                    "%s: the contents' CRC-16 is %04X, the header says %04X; the file holds them as they "
                    "unpack",
                    e.file.c_str(), mod.check.computed_crc16.value_or(0), e.crc16));
        } else {
            e.unpacked = false;
            file.assign(data.begin(), data.end());
            out.notes.push_back(
                base::format("%s: not unpacked (%s); the file holds the module's data as they lie",
                             e.file.c_str(), mod.check.problem.c_str()));
        }
        const ByteView header = lay.first(std::uint64_t{i.header_size} + 2);
        if (e.name.size() > codec::kMaxStoredName ||
            header_from_fields(e) != base::Bytes(header.begin(), header.end()))
            e.header = base::Bytes(header.begin(), header.end());
        if (e.unpacked && module_bytes(e, file, std::nullopt) != base::Bytes(lay.begin(), lay.end())) {
            e.stream = "streams/" + e.file.substr(e.file.find('/') + 1) + ".stream";
            add_file(*e.stream, base::Bytes(data.begin(), data.end()));
        }
        e.module_sha256 = sha256_of(lay);
        e.sha256 = sha256_of(file);
        add_file(e.file, std::move(file));
        return e;
    }

    void region(std::uint64_t offset, std::uint64_t end, const std::string& name) {
        RegionEntry r;
        r.offset = offset;
        r.length = end - offset;
        r.name = name;
        const ByteView bytes = base::slice(image, offset, r.length);
        if (std::all_of(bytes.begin(), bytes.end(), [&](std::uint8_t b) { return b == bytes.front(); })) {
            r.fill = bytes.front();
        } else {
            r.file = names.take("regions/" + name + ".bin");
            r.sha256 = sha256_of(bytes);
            add_file(*r.file, base::Bytes(bytes.begin(), bytes.end()));
        }
        out.manifest.regions.push_back(std::move(r));
    }
};

// The module parts: the body and every module the inventory found, in
// offset order; one that begins inside another is left in that one's bytes.
std::vector<Part> module_parts(Inventory& inv, ByteView image, const image::Layout& layout,
                               std::vector<std::string>& notes) {
    const auto body = find_body(image, layout);
    std::vector<Part> candidates;
    for (inspect::Module& m : inv.modules) {
        const bool is_body = m.system_bios;
        if (is_body && (!body || body->offset != m.info.offset)) continue;
        candidates.push_back({&m, is_body, m.info.offset, m.info.offset + m.info.length()});
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Part& a, const Part& b) { return a.offset < b.offset; });
    std::vector<Part> parts;
    for (const Part& c : candidates) {
        if (!parts.empty() && c.offset < parts.back().end) {
            notes.push_back(
                base::format("the module at %08llXh begins inside the one at %08llXh and is kept "
                             "in its bytes",
                             static_cast<unsigned long long>(c.offset),
                             static_cast<unsigned long long>(parts.back().offset)));
            continue;
        }
        parts.push_back(c);
    }
    // The separator byte goes with its module where nothing else begins there.
    for (std::size_t n = 0; n < parts.size(); ++n) {
        const std::uint64_t next = n + 1 < parts.size() ? parts[n + 1].offset : image.size();
        if (parts[n].end < next) ++parts[n].end;
    }
    return parts;
}

// What the bytes outside the modules are, most specific first.
std::vector<inspect::NamedRegion> region_names(const Inventory& inv, const std::vector<Part>& parts) {
    std::vector<inspect::NamedRegion> r;
    const auto add = [&](std::uint64_t start, std::uint64_t length, std::string name) {
        if (length > 0) r.push_back({start, start + length, std::move(name)});
    };
    if (inv.holes)
        for (const inspect::HoleInfo& h : inv.holes->holes) {
            const unsigned id = h.entry.id;
            add(h.entry.start(), h.entry.size(),
                id >= 0x90 && id <= 0x97 ? base::format("hole%u", id - 0x90) : base::format("hole-%04X", id));
        }
    if (inv.microcode_area)
        add(inv.microcode_area->offset, std::uint64_t{inv.microcode_area->size} + image::trailer::kSize,
            "microcode-area");
    if (inv.top_hole)
        add(inv.top_hole->offset, std::uint64_t{inv.top_hole->size} + image::trailer::kSize, "top-hole");
    if (inv.space.module_limit > inv.space.chain_end)
        add(inv.space.chain_end, inv.space.module_limit - inv.space.chain_end, "free-space");
    for (const Part& p : parts) {
        if (!p.body) continue;
        add(0, p.offset, "before-system-bios");
        if (inv.layout.walk_start > p.end) add(p.end, inv.layout.walk_start - p.end, "after-system-bios");
    }
    const inspect::Bootblock& b = inv.bootblock;
    if (b.arena) add(b.arena->arena.start, b.arena->arena.end - b.arena->arena.start, "bootblock-arena");
    if (b.vga_rom && b.vga_rom->end > b.vga_rom->start)
        add(b.vga_rom->start, b.vga_rom->end - b.vga_rom->start, "bootblock-vga-rom-area");
    if (b.vga_module && b.vga_module->area.end > b.vga_module->area.start)
        add(b.vga_module->area.start, b.vga_module->area.end - b.vga_module->area.start,
            "bootblock-vga-module-area");
    if (b.nv_memory && b.nv_memory->end > b.nv_memory->start)
        add(b.nv_memory->start, b.nv_memory->end - b.nv_memory->start, "nvidia-memory-area");
    if (b.pmu && b.pmu->rom) add(*b.pmu->rom, std::uint64_t{b.pmu->place.capacity_kib} * 1024, "pmu-rom");
    if (inv.length >= image::kBaseWindowSize) {
        add(image::bootblock_start(inv.length), image::kWindow64K, "bootblock");
        add(image::base_window_start(inv.length), image::kWindow64K, "base-window");
    }
    return r;
}

}  // namespace

Unpacked unpack_image(const std::string& name, ByteView image, const image::Layout& layout,
                      std::uint64_t unpack_budget) {
    inspect::InventoryOptions options;
    options.keep_contents = true;
    options.unpack_budget = unpack_budget;
    Inventory inv = inspect::take_inventory(name, image, layout, options);
    Unpacked u;
    Manifest& m = u.manifest;
    m.length = image.size();
    m.crc32 = inv.crc32;
    m.sha256 = base::sha256_text(inv.sha256);
    Maker make{image, u, {}, regions::pe32_checksum_flag(image)};

    const std::vector<Part> parts = module_parts(inv, image, layout, u.notes);
    for (const Part& p : parts) {
        if (p.body)
            m.body = make.module_entry(p);
        else
            m.modules.push_back(make.module_entry(p));
    }
    const std::vector<inspect::NamedRegion> named = region_names(inv, parts);
    std::uint64_t at = 0;
    for (std::size_t n = 0; n <= parts.size(); ++n) {
        const std::uint64_t gap_end = n < parts.size() ? parts[n].offset : image.size();
        while (at < gap_end) {
            std::uint64_t stretch_end = gap_end;
            std::string region = inspect::region_name(named, at, gap_end, stretch_end);
            std::replace(region.begin(), region.end(), ' ', '-');
            make.region(at, stretch_end, region);
            at = stretch_end;
        }
        if (n < parts.size()) at = parts[n].end;
    }
    const std::string text = manifest_json(m);
    u.files.push_back({kManifestName, base::Bytes(text.begin(), text.end())});
    return u;
}

std::optional<std::string> write_folder(const std::string& folder, const Unpacked& unpacked, bool replace) {
    const std::string shown = base::printable(folder);
    const platform::FileKind kind = platform::file_kind(folder);
    if (kind == platform::FileKind::kMissing) {
        if (const std::string reason = platform::make_folder(folder); !reason.empty())
            return base::format("Can't make the folder %s (%s)", shown.c_str(), reason.c_str());
    } else if (kind != platform::FileKind::kFolder) {
        return base::format("%s is not a folder", shown.c_str());
    }
    const auto there = platform::folder_names(folder);
    if (!there) return base::format("Can't read the folder %s", shown.c_str());
    if (!there->empty()) {
        if (!replace)
            return base::format("%s is not empty; --replace writes over the files of an earlier unpack there",
                                shown.c_str());
        // The files of the earlier unpack go first, its manifest before them,
        // so that nothing there is ever packed with files of two unpacks.
        const std::string manifest_path = path_in(folder, kManifestName);
        const auto old = platform::read_file_up_to(manifest_path, kMaxManifestSize, true);
        if (const auto* bytes = std::get_if<base::Bytes>(&old)) {
            const auto parsed = read_manifest(std::string(bytes->begin(), bytes->end()));
            if (const std::string reason = platform::remove_file(manifest_path); !reason.empty())
                return base::format("Can't remove %s (%s)", base::printable(manifest_path).c_str(),
                                    reason.c_str());
            if (const auto* earlier = std::get_if<Manifest>(&parsed)) {
                std::vector<std::string> old_files;
                const auto note = [&](const ModuleEntry& e) {
                    old_files.push_back(e.file);
                    if (e.stream) old_files.push_back(*e.stream);
                };
                if (earlier->body) note(*earlier->body);
                for (const ModuleEntry& e : earlier->modules) note(e);
                for (const RegionEntry& r : earlier->regions)
                    if (r.file) old_files.push_back(*r.file);
                for (const std::string& file : old_files) {
                    if (unsafe_name(file)) continue;
                    const std::string path = path_in(folder, file);
                    if (platform::file_kind(path) == platform::FileKind::kFolder) continue;
                    if (const std::string reason = platform::remove_file(path); !reason.empty())
                        return base::format("Can't remove %s (%s)", base::printable(path).c_str(),
                                            reason.c_str());
                }
            }
        }
    }
    for (const FolderFile& f : unpacked.files) {
        for (std::size_t slash = f.name.find('/'); slash != std::string::npos;
             slash = f.name.find('/', slash + 1)) {
            const std::string sub = path_in(folder, f.name.substr(0, slash));
            if (const std::string reason = platform::make_folder(sub); !reason.empty())
                return base::format("Can't make the folder %s (%s)", base::printable(sub).c_str(),
                                    reason.c_str());
        }
        const std::string path = path_in(folder, f.name);
        if (const std::string reason =
                platform::write_file_atomically(path, f.bytes, platform::LinkRule::kReplace);
            !reason.empty())
            return base::format("Can't write %s (%s)", base::printable(path).c_str(), reason.c_str());
    }
    return std::nullopt;
}

}  // namespace kitra::folder
