#include "edit/add_module.h"

#include <algorithm>
#include <array>

#include "base/fatal.h"
#include "base/text.h"
#include "cli/catalogue.h"
#include "cli/isa_segment.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "convert/acpi_tables.h"
#include "convert/bitmap_signature.h"
#include "convert/bmp_file.h"
#include "convert/executable.h"
#include "convert/logo_bitmap.h"
#include "convert/mib_document.h"
#include "convert/picture_wrappers.h"
#include "edit/module_chain.h"
#include "edit/option_rom.h"
#include "edit/placement.h"
#include "edit/special_areas.h"
#include "image/layout.h"
#include "regions/position_dependent.h"

namespace kitra::edit {

namespace {

using base::Bytes;
using base::ByteView;
using cli::Family;
using cli::ItemResult;
using platform::print;

constexpr std::uint64_t kRomReadLimit = std::uint64_t{128} * 1024;  // ROM contents checked and compared
constexpr std::uint64_t kFamilyReadLimit =
    std::uint64_t{64} * 1024;  // contents read of a module already there

constexpr ItemResult kFailed{.failed = true, .end_loop = false};
constexpr ItemResult kFailedEndLoop{.failed = true, .end_loop = true};

// The slot marks of an add: one per type ID from the first VGA slot to the
// last ACPI SDT slot.
constexpr std::uint16_t kFirstSlot = 0x4080;
constexpr std::size_t kSlotCount = 0x40C9 - kFirstSlot + 1;

bool is_option_rom(Family family) {
    return family == Family::kVga || family == Family::kPci || family == Family::kIsa;
}

// Targets in these families take the slot the walk found for them.
bool takes_slot(std::uint16_t type_id) {
    const Family family = cli::family_of_type(type_id);
    return is_option_rom(family) || family == Family::kAcpiSdt;
}

// Kinds whose contents decide between replacing a module and taking a slot.
bool compares_content(const cli::Item& item) {
    return is_option_rom(item.component_kind().family) ||
           cli::family_of_type(item.type.type_id) == Family::kAcpiSdt;
}

// Inputs handled by a rule of their own are never taken for ready modules.
bool has_own_input_rule(const cli::Kind& kind) {
    return kind.input == cli::Input::kStored || kind.input == cli::Input::kRaw ||
           kind.input == cli::Input::kPositionDependent;
}

// A bitmap is converted unless the kind's input has a rule that comes first.
bool converts_bitmap(const cli::Kind& kind) {
    return !has_own_input_rule(kind) && kind.input != cli::Input::kMib && kind.bitmap != cli::Bitmap::kAsItIs;
}

// What the bitmap conversions read of the run. The position is only ever
// given to the options that place their picture; the signature is the
// image's own.
convert::BitmapSettings bitmap_settings(const cli::Run& run, const cli::Item& item) {
    const cli::CatalogueEntry* entry = cli::entry_for_code(item.option_code);
    convert::BitmapSettings s;
    s.no_reserve = run.settings.no_reserve;
    s.logo_flags = run.layout.logo_flags;
    if (entry && entry->has(cli::word::kPosition)) s.position = run.settings.logo_position;
    s.signature = convert::signature_for(run.image.bytes(), run.layout, item.type.type_id);
    return s;
}

ByteView first_bytes(ByteView data, std::uint64_t limit) {
    return data.first(std::min<std::uint64_t>(limit, data.size()));
}

// The component as a module: used as it is when it already is one, else
// packed according to its kind.
std::optional<PreparedModule> prepare(cli::Run& run, const cli::Item& item) {
    const cli::Kind& kind = item.component_kind();
    const ByteView file = item.component;
    const std::string& name = item.component_name;
    const std::string& type = item.type.type_id_text;
    PreparedModule p;
    if (item.built_in_module ||
        (!has_own_input_rule(kind) && codec::has_module_mark(first_bytes(file, 64), 0))) {
        const auto m = codec::module_at(file, 0);
        if (!m) {
            print(run.con,
                  "%s is not a complete module: its header or data reach past the end of the file.\n",
                  name.c_str());
            return std::nullopt;
        }
        if (!item.built_in_module)
            print(run.con, "Combine %s file to %s...\n", name.c_str(), run.settings.image_name.c_str());
        p.module.assign(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(m->length()));
        p.module.push_back(m->length() < file.size() ? file[m->length()] : 0x00);
        if (compares_content(item)) {
            auto contents = codec::unpack(p.module, run.report());
            if (!contents) return std::nullopt;
            p.content = std::move(*contents);
        }
        return p;
    }
    using codec::PackMode;
    if (kind.input == cli::Input::kPositionDependent) {
        if (const auto refused = regions::pe32_refusal(file, kind, name)) {
            cli::report_refusal(run, *refused);
            return std::nullopt;
        }
        // Stored, with a byte 0x00 appended when the kind carries an image
        // checksum: its place, filled in when the module is placed.
        Bytes contents(file.begin(), file.end());
        if (kind.place == cli::Place::kChain) contents.push_back(0x00);
        p.module = codec::pack(contents, PackMode::kStore, name, type, run.encoder(), run.report());
        return p;
    }
    if (kind.input == cli::Input::kStored) {
        p.module = codec::pack(file, PackMode::kStore, name, type, run.encoder(), run.report());
    } else if (kind.input == cli::Input::kMib) {
        // Any text, whatever its first bytes, becomes a document.
        p.module = codec::pack(convert::mib_document(file), PackMode::kCompress, name, type, run.encoder(),
                               run.report());
    } else if (converts_bitmap(kind) && convert::is_bmp(file)) {
        auto bitmap = convert::convert_bitmap(kind.bitmap, file, name, bitmap_settings(run, item));
        if (const auto* refusal = std::get_if<std::string>(&bitmap)) {
            platform::write(run.con, *refusal);
            return std::nullopt;
        }
        p.module = codec::pack(std::get<Bytes>(bitmap), PackMode::kCompress, name, type, run.encoder(),
                               run.report());
    } else if (convert::is_executable(file) && kind.executable == cli::Executable::kBody) {
        p.module = codec::pack(convert::executable_body(file), PackMode::kStore, name, type, run.encoder(),
                               run.report());
    } else if (kind.input == cli::Input::kJpeg) {
        p.module = codec::pack(convert::wrap_jpeg(file), PackMode::kCompress, convert::kJpegStoredName, type,
                               run.encoder(), run.report());
    } else if (kind.input == cli::Input::kGif) {
        p.module = codec::pack(file, PackMode::kCompress, convert::kGifStoredName, type, run.encoder(),
                               run.report());
    } else {
        p.module = codec::pack(file, PackMode::kCompress, name, type, run.encoder(), run.report());
    }
    if (compares_content(item)) p.content.assign(file.begin(), file.end());
    return p;
}

// An ACPI SDT module holds one whole table: one whose Length is not its size
// would make the firmware read past it or stop short, so the run stops and
// the image stays as it was. A wrong checksum is only a warning: tables
// under development are often added before their checksum is set.
void check_acpi_module(cli::Run& run, const cli::Item& item, ByteView table) {
    switch (convert::check_acpi_table(table)) {
        case convert::AcpiTableCheck::kWrongSize:
            throw Fatal(base::format("The ACPI SDT module %s file size is not correct! Please check it!\n",
                                     item.component_name.c_str()),
                        1);
        case convert::AcpiTableCheck::kTooShort:
            throw Fatal(base::format("The ACPI SDT module %s file is shorter than an ACPI table header (%llu "
                                     "bytes)! Please check it!\n",
                                     item.component_name.c_str(),
                                     static_cast<unsigned long long>(convert::acpi::kHeaderSize)),
                        1);
        case convert::AcpiTableCheck::kBadChecksum:
            print(run.con, "CAUTION: The checksum of ACPI module %s file is not correct!\n",
                  item.component_name.c_str());
            break;
        case convert::AcpiTableCheck::kGood:
            break;
    }
}

struct NewRom {
    Family family;
    ByteView content;  // at most 128 KiB
    std::optional<Bytes> key;
};

// Whether the module at `pos` holds the same ROM (or ACPI table) as the new one.
bool same_content(cli::Run& run, const codec::ModuleInfo& existing, const NewRom& rom, bool acpi) {
    const ByteView in_image = base::slice(ByteView(run.image.bytes()), existing.offset, existing.length());
    Bytes copy;
    const auto contents = codec::unpack(cli::module_to_read(in_image, existing.type_id, copy), run.report());
    if (!contents) return false;
    const ByteView old = first_bytes(*contents, kFamilyReadLimit);
    if (rom.family == Family::kIsa)
        return rom.content.size() <= old.size() &&
               std::equal(rom.content.begin(), rom.content.end(), old.begin());
    const auto old_key = acpi ? acpi_key(old) : pci_key(old);
    return rom.key && old_key && *rom.key == *old_key;
}

// What a chain broken before its free end means for an add.
std::string no_free_space(const cli::Item& item) {
    return "no free space found for " + item.component_name + ".";
}

struct WalkResult {
    enum class End { Place, Failed, FailedEndLoop } end = End::Place;
    std::uint64_t pos = 0;
    std::uint16_t target = 0;
};

// Walks the compressed area from the module after the system BIOS: removes
// the modules the new one replaces, advances the slot of a family past the
// slots other ROMs hold, and finds the free end.
WalkResult walk(cli::Run& run, const cli::Item& item, const NewRom& rom) {
    WalkResult r;
    r.target = item.type.type_id;
    const Family family = item.component_kind().family;
    std::array<bool, kSlotCount> used{};
    const std::uint64_t end = image::walk_end(run.layout);
    std::uint64_t pos = run.layout.walk_start;
    const ByteView bytes = run.image.bytes();
    for (;;) {
        const auto packed = base::try_read_u32(bytes, pos + codec::field::kPackedSize);
        if (!packed || *packed == codec::kErased) break;  // the free end (or the end of the image)
        const auto m = codec::module_at(bytes, pos);
        if (!m) {
            report_broken_chain(run, pos, no_free_space(item));
            r.end = WalkResult::End::Failed;
            return r;
        }
        const std::uint16_t id = m->type_id;
        const bool acpi = cli::family_of_type(id) == Family::kAcpiSdt;
        bool same = false;
        if (cli::compares_content(id, r.target)) {
            same = same_content(run, *m, rom, acpi);
            if (!same) {
                used[id - kFirstSlot] = true;
                if (id == r.target) {
                    do ++r.target;
                    while (r.target - kFirstSlot < static_cast<int>(kSlotCount) &&
                           used[r.target - kFirstSlot]);
                }
            }
            if (family == Family::kVga && r.target > cli::family_range(Family::kVga).last) {
                print(run.con, "WARNING : VGA ROM Max 6 slots.");
                r.end = WalkResult::End::Failed;
                return r;
            }
            if (family == Family::kIsa && r.target > cli::family_range(Family::kIsa).last) {
                print(run.con, "WARNING : ISA ROM Max 8 slots.");
                r.end = WalkResult::End::Failed;
                return r;
            }
            if (acpi && r.target > cli::family_range(Family::kAcpiSdt).last)
                throw Fatal("ERROR : ACPI SDT ROM Max 10 slots.\n", 1);
        }
        if (id == r.target || same) {
            if (family == Family::kIsa) {
                print(run.con, "CAUTION : This [%s] ISA ROM Exist", item.component_name.c_str());
                r.end = WalkResult::End::Failed;
                return r;
            }
            if (!remove_module(run, pos, m->step(), image::module_limit(run.layout), no_free_space(item))) {
                r.end = WalkResult::End::Failed;
                return r;
            }
            continue;  // the same position now holds the next module
        }
        pos += m->step();
        if (pos >= end) break;
    }
    r.pos = pos;
    return r;
}

// Data of a stored module added with /NoCompress start on a 16-byte
// boundary: the header grows by 0xFF bytes at the end of the name, and the
// packed size by as many bytes, which take the separator and erased bytes.
// `module` holds header, data and separator.
Bytes align_stored_data(Bytes module, std::uint64_t pos) {
    const std::uint8_t h = module[codec::field::kHeaderSize];
    const std::uint64_t data_start = pos + h + 2;
    if (data_start % 16 == 0) return module;
    const std::uint8_t pad = static_cast<std::uint8_t>(16 - data_start % 16);
    const std::uint8_t n = module[codec::field::kNameLength];
    const std::uint32_t packed = base::read_u32(module, codec::field::kPackedSize);
    module.insert(module.begin() + static_cast<std::ptrdiff_t>(codec::field::kName + n), pad, 0xFF);
    module[codec::field::kHeaderSize] = static_cast<std::uint8_t>(h + pad);
    module[codec::field::kNameLength] = static_cast<std::uint8_t>(n + pad);
    base::write_u32(module, codec::field::kPackedSize, packed + pad);
    codec::update_header_sum(module);
    module.resize(std::uint64_t{h} + pad + 2 + packed + pad, 0xFF);
    return module;
}

}  // namespace

std::variant<PreparedModule, ItemResult> prepare_module(cli::Run& run, const cli::Item& item) {
    const cli::Kind& kind = item.component_kind();
    auto prepared = prepare(run, item);
    if (!prepared) return kFailed;
    if (kind.family == Family::kAcpiSdt) check_acpi_module(run, item, prepared->content);
    if (is_option_rom(kind.family)) {
        const ByteView rom = first_bytes(prepared->content, kRomReadLimit);
        if (!has_rom_signature(rom) || (kind.family == Family::kIsa && !isa_rom_sum_ok(rom))) {
            print(run.con, "CAUTION: %s file is not BIOS ROM", item.component_name.c_str());
            return kFailedEndLoop;
        }
    }
    return std::move(*prepared);
}

ItemResult place_prepared(cli::Run& run, const cli::Item& item, Bytes module, std::uint64_t pos,
                          std::uint16_t type_id) {
    const cli::Kind& kind = item.component_kind();
    if (kind.input == cli::Input::kPositionDependent)
        return place_position_dependent(run, pos, module, kind) ? ItemResult{} : kFailed;
    if (takes_slot(type_id)) {
        base::write_u16(module, codec::field::kTypeId, type_id);
        codec::update_header_sum(module);
    }
    if (kind.family == Family::kIsa && item.type.isa_segment != 0) {
        // The segment goes over the type ID suffix, outside the header sum
        // (readers clear the suffix before they check it). Only its 16 bits
        // are written: the type ID behind it must stay the slot's.
        base::write_u16(module, codec::field::kTypeSuffix, static_cast<std::uint16_t>(item.type.isa_segment));
    }
    SizeAt size_at;
    if (kind.input == cli::Input::kStored) {
        // Elsewhere its pad would be another: as many bytes again in the
        // header as in the data.
        const std::uint64_t h = module[codec::field::kHeaderSize];
        const std::uint64_t length = h + 2 + base::read_u32(module, codec::field::kPackedSize);
        size_at = [h, length](std::uint64_t at) { return length + 2 * ((16 - (at + h + 2) % 16) % 16); };
        const std::size_t before = module.size();
        module = align_stored_data(std::move(module), pos);
        if (module.size() != before)
            print(run.con, "Combine %s file to %s...\n", item.component_name.c_str(),
                  run.settings.image_name.c_str());
    }
    const auto info = codec::module_at(module, 0);
    if (!info) throw Fatal("Internal error: a prepared module is not a module.\n", 1);
    // A stored module is copied without its separator byte.
    module.resize(info->stored ? info->length() : info->length() + 1);
    return place_module(run, pos, module, size_at) ? ItemResult{} : kFailed;
}

ItemResult add_module(cli::Run& run, const cli::Item& item) {
    const cli::Kind& kind = item.component_kind();
    if (kind.place == cli::Place::kNcpucodeArea) return place_ncpucode(run, item) ? ItemResult{} : kFailed;
    if (kind.place == cli::Place::kTopHole) return place_top_hole(run, item) ? ItemResult{} : kFailed;
    if (kind.input == cli::Input::kSizeOnly) {
        const Bytes module = codec::pack(item.component, codec::PackMode::kQuiet, item.component_name,
                                         item.type.type_id_text, run.encoder(), run.report());
        print(run.con, "%s compressed size is ... %.2fK\n", item.component_name.c_str(),
              static_cast<double>(module.size()) / 1024.0);
        return {.failed = false, .end_loop = true};
    }

    auto made = prepare_module(run, item);
    if (const auto* failed = std::get_if<ItemResult>(&made)) return *failed;
    PreparedModule& prepared = std::get<PreparedModule>(made);

    NewRom rom{kind.family, first_bytes(prepared.content, kRomReadLimit), std::nullopt};
    if (is_option_rom(kind.family)) {
        if (kind.family != Family::kIsa) rom.key = pci_key(rom.content);
    } else if (compares_content(item)) {
        rom.key = acpi_key(rom.content);
    }

    const WalkResult w = walk(run, item, rom);
    if (w.end == WalkResult::End::Failed) return kFailed;
    return place_prepared(run, item, std::move(prepared.module), w.pos, w.target);
}

}  // namespace kitra::edit
