#include "inspect/inventory_json.h"

#include "base/text.h"
#include "cli/catalogue.h"
#include "inspect/microcode_updates.h"

namespace kitra::inspect {

namespace {

using base::JsonWriter;

std::string dotted(const std::array<std::uint8_t, 4>& a) {
    return base::format("%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
}

void text_or_null(JsonWriter& w, std::string_view name, const std::string& text) {
    w.key(name);
    if (text.empty())
        w.null();
    else
        w.value(text);
}

void write_pe32(JsonWriter& w, const std::optional<Pe32Facts>& pe) {
    w.key("pe32");
    if (!pe) {
        w.null();
        return;
    }
    w.begin_object();
    member_hex(w, "address", pe->address, 8);
    w.key("image_base");
    if (pe->image_base)
        w.value(*pe->image_base);
    else
        w.null();
    w.member("based_where_it_lies", pe->image_base && *pe->image_base == pe->address);
    text_or_null(w, "problem", pe->problem);
    member_hex(w, "sum", pe->sum, 2);
    w.member("checksum_expected", pe->checksum_expected);
    w.end_object();
}

void write_bitmap(JsonWriter& w, const Module& m) {
    w.key("bitmap");
    if (!m.bitmap_signature) {
        w.null();
        return;
    }
    const convert::Signature& s = *m.bitmap_signature;
    w.begin_object();
    w.member("signature", std::string_view(reinterpret_cast<const char*>(s.data()), s.size()));
    w.member("signature_hex", base::format("%02X%02X%02X%02X", s[0], s[1], s[2], s[3]));
    w.member("may_be_position", cli::takes_position(m.info.type_id));
    w.end_object();
}

void write_module(JsonWriter& w, const Module& m, int row) {
    const codec::ModuleInfo& i = m.info;
    const ModuleCheck& c = m.check;
    w.begin_object();
    w.member("area", area_word(m.area));
    w.key("row");
    if (row >= 0)
        w.value(row);
    else
        w.null();
    w.member("offset", i.offset);
    w.key("kind");
    write_kind(w, m.kind);
    member_hex(w, "type_id", i.type_id, 4);
    member_hex(w, "type_suffix", i.type_suffix, 4);
    w.member("method", c.method);
    w.member("header_size", std::uint32_t{i.header_size});
    member_hex(w, "header_sum", c.header_sum, 2);
    w.member("header_sum_holds", c.header_sum_holds());
    w.member("attribute", std::uint32_t{m.attribute});
    w.member("level", std::uint32_t{m.level});
    w.member("name", i.name);
    w.member("original_size", i.original_size);
    w.member("packed_size", i.packed_size);
    w.member("size_in_image", i.step());
    w.member("padding", std::uint32_t{c.extension});
    member_hex(w, "crc16", c.crc16, 4);
    w.key("crc16_holds");
    if (c.computed_crc16)
        w.value(c.crc16_holds());
    else
        w.null();
    text_or_null(w, "problem", c.problem);
    w.key("option_rom");
    write_option_rom(w, m.option_rom);
    write_bitmap(w, m);
    write_pe32(w, m.pe32);
    w.end_object();
}

void write_modules(JsonWriter& w, const Inventory& inv) {
    w.key("modules").begin_array();
    int chain_row = 0;
    int arena_row = 0;
    for (const Module& m : inv.modules) {
        int row = -1;
        if (m.area == ModuleArea::kChain) row = m.system_bios ? 0 : ++chain_row;
        if (m.area == ModuleArea::kArena) row = ++arena_row;
        write_module(w, m, row);
    }
    w.end_array();
}

void write_special_area(JsonWriter& w, std::string_view name, const std::optional<SpecialArea>& a) {
    w.key(name);
    if (!a) {
        w.null();
        return;
    }
    w.begin_object()
        .member("offset", a->offset)
        .member("size", a->size)
        .member("trailer_name", a->trailer_name);
    w.end_object();
}

void write_layout(JsonWriter& w, const Inventory& inv) {
    const image::Layout& l = inv.layout;
    w.key("layout").begin_object();
    w.member("base_window", l.base_window);
    w.member("system_bios_offset", l.system_bios_offset);
    w.member("walk_start", l.walk_start);
    w.member("compressed_limit", l.compressed_limit);
    w.member("checksum_block", l.checksum_block);
    w.member("image_checksum_word", l.image_checksum_word);
    w.member("bootblock_flag", l.bootblock_flag);
    w.member("extended_layout", l.extended_layout);
    member_hex(w, "logo_flags", l.logo_flags, 2);
    w.end_object();
}

void write_space(JsonWriter& w, const FreeSpace& s) {
    w.key("space").begin_object();
    w.member("chain_end", s.chain_end);
    w.member("module_limit", s.module_limit);
    w.member("free", s.module_limit > s.chain_end ? s.module_limit - s.chain_end : 0);
    w.member("total_compress_code_space", s.figures.total_space);
    w.member("total_compressed_code_size", s.figures.compressed_size);
    w.member("remain_compress_code_space", s.figures.remain);
    w.key("top_hole_wasted_code_space");
    if (s.figures.top_hole_wasted)
        w.value(*s.figures.top_hole_wasted);
    else
        w.null();
    w.end_object();
}

void write_marked_area(JsonWriter& w, const regions::MarkedArea& a) {
    w.member("start", a.start).member("end", a.end);
}

void write_bootblock(JsonWriter& w, const Bootblock& b) {
    w.key("bootblock").begin_object();
    w.key("bbss");
    if (b.bbss) {
        w.begin_object().member("offset", b.bbss->offset);
        member_hex(w, "flag_byte", b.bbss->flag_byte, 2);
        member_hex(w, "region_word", b.bbss->region_word, 4);
        member_hex(w, "layout_word", b.bbss->layout_word, 4);
        member_hex(w, "limit_word", b.bbss->limit_word, 4);
        member_hex(w, "image_checksum_word", b.bbss->image_checksum_word, 4);
        member_hex(w, "microcode_word", b.bbss->microcode_word, 4);
        w.end_object();
    } else {
        w.null();
    }
    w.key("bs1").begin_array();
    for (const Bs1Record& r : b.bs1) {
        w.begin_object().member("offset", r.offset);
        member_hex(w, "size_code", r.size_code, 2);
        w.member("pe32_checksum", r.pe32_checksum);
        member_hex(w, "microcode_address", r.microcode_address, 8);
        w.member("top_hole", r.top_hole);
        w.end_object();
    }
    w.end_array();
    w.key("checksum_byte");
    if (b.checksum) {
        w.begin_object().member("region_base", b.checksum->region_base);
        w.member("region_length", std::uint32_t{b.checksum->region_length});
        w.member("offset", b.checksum->offset);
        member_hex(w, "stored", b.checksum->stored, 2);
        member_hex(w, "sum", b.checksum->sum, 2);
        w.member("holds", b.checksum->stored == b.checksum->sum);
        w.end_object();
    } else {
        w.null();
    }
    w.key("vga_rom_area");
    if (b.vga_rom) {
        w.begin_object().member("line", b.vga_rom->line).member("start", b.vga_rom->start);
        w.member("end", b.vga_rom->end).key("option_rom");
        write_option_rom(w, b.vga_rom->rom);
        w.end_object();
    } else {
        w.null();
    }
    w.key("vga_module_area");
    if (b.vga_module) {
        w.begin_object().member("line", b.vga_module->line);
        write_marked_area(w, b.vga_module->area);
        w.end_object();
    } else {
        w.null();
    }
    w.key("nv_memory");
    if (b.nv_memory) {
        w.begin_object();
        write_marked_area(w, *b.nv_memory);
        w.key("identification");
        if (b.nv_memory_id) {
            w.begin_object().member("offset", b.nv_memory_id->offset).key("texts").begin_array();
            for (const std::string& t : b.nv_memory_id->texts) w.value(t);
            w.end_array().end_object();
        } else {
            w.null();
        }
        w.end_object();
    } else {
        w.null();
    }
    w.key("pmu");
    if (b.pmu) {
        w.begin_object().member("line", b.pmu->line);
        w.member("capacity_kib", std::uint32_t{b.pmu->place.capacity_kib});
        member_hex(w, "segment", b.pmu->place.segment, 4);
        member_hex(w, "segment_offset", b.pmu->place.offset, 4);
        w.key("rom");
        if (b.pmu->rom)
            w.value(*b.pmu->rom);
        else
            w.null();
        w.key("version");
        if (b.pmu->version)
            w.value(base::format("%x%.2x", b.pmu->version->high, b.pmu->version->low));
        else
            w.null();
        w.end_object();
    } else {
        w.null();
    }
    w.key("arena");
    if (b.arena) {
        w.begin_object().member("start", b.arena->arena.start).member("end", b.arena->arena.end);
        w.member("free_slot", b.arena->free_slot).member("full", b.arena->full);
        w.end_object();
    } else {
        w.null();
    }
    w.end_object();
}

void write_hole_record(JsonWriter& w, const regions::HoleRecord& r) {
    w.begin_object().member("offset", r.offset);
    member_hex(w, "id", r.id, 4);
    w.member("size", r.size).member("name", r.name);
    w.end_object();
}

void write_holes(JsonWriter& w, const std::optional<Holes>& h) {
    w.key("holes");
    if (!h) {
        w.null();
        return;
    }
    w.begin_object().member("directory", h->directory).member("total_size", h->total_size);
    w.member("table", h->table).key("entries").begin_array();
    for (const HoleInfo& i : h->holes) {
        w.begin_object();
        member_hex(w, "id", i.entry.id, 4);
        w.member("start", i.entry.start()).member("size", i.entry.size()).key("record");
        if (i.record)
            write_hole_record(w, *i.record);
        else
            w.null();
        w.key("option_rom");
        write_option_rom(w, i.rom);
        w.end_object();
    }
    w.end_array().key("records").begin_array();
    for (const regions::HoleRecord& r : h->records) write_hole_record(w, r);
    w.end_array().end_object();
}

void write_boot_on_internet(JsonWriter& w, const std::optional<BootOnInternet>& b) {
    w.key("boot_on_internet");
    if (!b) {
        w.null();
        return;
    }
    w.begin_object().member("offset", b->offset).member("use_dhcp", std::uint32_t{b->use_dhcp});
    w.member("server_ip", dotted(b->server_ip)).member("static_ip", dotted(b->static_ip));
    w.member("net_mask", dotted(b->net_mask)).member("gate_way", dotted(b->gate_way));
    w.member("dns", dotted(b->dns)).member("use_proxy", std::uint32_t{b->use_proxy});
    w.member("proxy_ip", dotted(b->proxy_ip)).member("proxy_port", std::uint32_t{b->proxy_port});
    w.end_object();
}

}  // namespace

void member_hex(JsonWriter& w, std::string_view name, std::uint64_t value, int digits) {
    w.member(name, value);
    w.member(std::string(name) + "_hex", base::hex_text(value, digits));
}

void write_kind(JsonWriter& w, const ModuleKind& kind) {
    w.begin_object();
    text_or_null(w, "name", kind.name);
    text_or_null(w, "option", kind.option);
    text_or_null(w, "slot", kind.slot);
    w.end_object();
}

void write_option_rom(JsonWriter& w, const std::optional<OptionRom>& rom) {
    if (!rom) {
        w.null();
        return;
    }
    w.begin_object().key("images").begin_array();
    for (const OptionRomImage& i : rom->images) {
        w.begin_object().member("offset", i.offset).member("size_byte", std::uint32_t{i.size_byte});
        w.member("length", std::uint64_t{i.size_byte} * rom::kBlock).member("whole", i.whole);
        member_hex(w, "sum", i.sum, 2);
        w.key("checksum_holds");
        if (i.has_checksum())
            w.value(i.checksum_holds());
        else
            w.null();
        w.key("pci");
        if (i.pci) {
            const PciData& p = *i.pci;
            w.begin_object().member("offset", p.offset);
            member_hex(w, "vendor", p.vendor, 4);
            member_hex(w, "device", p.device, 4);
            member_hex(w, "class_code", p.class_code, 6);
            w.member("structure_revision", std::uint32_t{p.structure_revision});
            w.member("image_length", std::uint64_t{p.image_blocks} * rom::kBlock);
            member_hex(w, "revision", p.revision, 4);
            w.member("code_type", std::uint32_t{p.code_type}).member("last_image", p.last_image);
            w.end_object();
        } else {
            w.null();
        }
        w.key("pnp");
        if (i.pnp) {
            w.begin_object().member("offset", i.pnp->offset);
            member_hex(w, "device_id", i.pnp->device_id, 8);
            for (const auto& [name, text] :
                 {std::pair{"manufacturer", &i.pnp->manufacturer}, std::pair{"product", &i.pnp->product}}) {
                w.key(name);
                if (*text)
                    w.value(**text);
                else
                    w.null();
            }
            w.end_object();
        } else {
            w.null();
        }
        w.end_object();
    }
    w.end_array().end_object();
}

std::string inventory_json(const Inventory& inv) {
    JsonWriter w;
    w.begin_object().member("schema", kInventorySchema);
    w.key("image").begin_object().member("name", inv.name).member("length", inv.length);
    member_hex(w, "crc32", inv.crc32, 8);
    w.member("sha256", base::sha256_text(inv.sha256));
    w.end_object();
    write_layout(w, inv);
    write_modules(w, inv);
    w.key("special_areas").begin_object();
    write_special_area(w, "microcode", inv.microcode_area);
    write_special_area(w, "top_hole", inv.top_hole);
    w.end_object();
    write_space(w, inv.space);
    write_bootblock(w, inv.bootblock);
    write_holes(w, inv.holes);
    write_boot_on_internet(w, inv.boot_on_internet);
    w.key("microcode").begin_object();
    write_microcode_members(w, inv.microcode);
    w.end_object();
    w.end_object();
    return w.text();
}

}  // namespace kitra::inspect
