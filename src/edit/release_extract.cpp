#include "edit/release_extract.h"

#include <string>

#include "base/text.h"
#include "cli/catalogue.h"
#include "cli/isa_segment.h"
#include "codec/module_crc.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "convert/picture_wrappers.h"
#include "convert/reverse_logo.h"
#include "edit/extract_name.h"
#include "edit/module_chain.h"
#include "edit/slot_choice.h"
#include "image/extract_file.h"
#include "regions/bootblock_arena.h"
#include "regions/pe32_checksum_flag.h"

namespace kitra::edit {

namespace {

using platform::print;

// The module an item works on: its type ID, and for the families the slot
// letter the result message names.
struct Target {
    std::uint16_t type_id = 0;
    std::optional<Family> family;
    char letter = 0;
};

std::string failure_name_of(const cli::Item& item) {
    return std::string(cli::failure_name(item.option_code));
}

cli::ItemResult failed() {
    return {.failed = true, .end_loop = false};
}

cli::ItemResult not_found(cli::Run& run, const cli::Item& item) {
    switch (item.component_kind().family) {
        case Family::kPci:
            print(run.con, "Can't found [PCI] ROM...\n");
            break;
        case Family::kIsa:
            print(run.con, "Can't found [ISA] ROM...\n");
            break;
        case Family::kGroup:
            print(run.con, "Can't found [%s%d] ROM...\n", failure_name_of(item).c_str(),
                  run.settings.group_number);
            break;
        default:
            print(run.con, "Can't found [%s] ROM...\n", failure_name_of(item).c_str());
            break;
    }
    return failed();
}

void print_released(cli::Run& run, const cli::Item& item, const Target& target) {
    if (target.family == Family::kAcpiSdt)
        print(run.con, "[ACPI module-%c] ROM is release\n", target.letter);
    else if (target.family)
        print(run.con, "[%s-%c] ROM is release\n", failure_name_of(item).c_str(), target.letter);
    else
        print(run.con, "[%s] ROM is release\n", failure_name_of(item).c_str());
}

void print_extracted(cli::Run& run, const cli::Item& item, const Target& target, const std::string& file) {
    const std::string shown = base::printable(file);
    if (target.family == Family::kAcpiSdt)
        print(run.con, "[ACPI module-%c] ROM is extracted to %s\n", target.letter, shown.c_str());
    else if (target.family)
        print(run.con, "[%s-%c] ROM is extracted to %s\n", failure_name_of(item).c_str(), target.letter,
              shown.c_str());
    else
        print(run.con, "[%s] ROM is extracted to %s", failure_name_of(item).c_str(), shown.c_str());
}

bool write_extract_file(cli::Run& run, const std::string& file, const base::Bytes& contents,
                        image::ExtractName source = image::ExtractName::kGiven) {
    return image::write_extract_file(run.con, run.image.path(), file, contents, run.write_file, source);
}

// The first module from the walk start whose type ID is `type_id`; the walk
// ends at the first position that holds no module (erased flash included).
std::optional<codec::ModuleInfo> find_module(base::ByteView bytes, std::uint64_t start,
                                             std::uint16_t type_id) {
    std::uint64_t pos = start;
    while (auto m = codec::module_at(bytes, pos)) {
        if (m->type_id == type_id) return m;
        pos += m->step();
    }
    return std::nullopt;
}

// A module found for an item, with the end of the area it lies in: a
// release closes that area up to there.
struct Found {
    codec::ModuleInfo module;
    std::uint64_t limit = 0;
    const char* area = "";
};

// The module of `type_id`: in the bootblock arena for the arena's kinds,
// else in the chain from the walk start (its area ends at the module limit,
// so a special area below the compressed area's end keeps its data).
std::optional<Found> find_target(const cli::Run& run, const cli::Kind& kind, std::uint16_t type_id) {
    if (kind.place == cli::Place::kArena) {
        const auto arena = regions::find_arena(run.image.bytes());
        if (!arena) return std::nullopt;
        const auto m = regions::find_in_arena(run.image.bytes(), *arena, type_id);
        if (!m) return std::nullopt;
        return Found{*m, arena->end, "bootblock arena"};
    }
    const auto m = find_module(run.image.bytes(), run.layout.walk_start, type_id);
    if (!m) return std::nullopt;
    return Found{*m, image::module_limit(run.layout), "module area"};
}

// Kinds that are changed on their way into the image are changed back here
// before they are written out: a PE32 module loses the zero byte appended
// when it was added (when the bootblock says so), a logo becomes a bitmap
// again, a wrapped JPEG picture is unwrapped.
void restore_original_form(const cli::Run& run, const cli::Item& item, base::Bytes& contents) {
    // The PE32 and memory-init kinds of the compressed area carry a last
    // byte that makes their sum 0 while "*BS1" says they do.
    const cli::Kind& kind = item.component_kind();
    if (kind.input == cli::Input::kPositionDependent && kind.place == cli::Place::kChain &&
        !contents.empty() && regions::pe32_checksum_flag(run.image.bytes()))
        contents.pop_back();
    // Logos of the options that take pictures back, and true-colour pictures
    // of any option, go back to BMP files. Contents that are no firmware
    // bitmap are written as they are stored: nothing of them is lost.
    const cli::CatalogueEntry* entry = cli::entry_for_code(item.option_code);
    if ((entry && entry->has(cli::word::kReverseLogo)) || convert::is_true_colour_wrapper(contents)) {
        if (auto bmp = convert::reverse_logo(contents))
            contents = std::move(*bmp);
        else
            print(run.con, "The [%s] module holds no firmware bitmap; it is extracted as it is stored.\n",
                  failure_name_of(item).c_str());
    }
    // A JPEG logo is the picture behind 16 zero bytes.
    if (item.component_kind().input == cli::Input::kJpeg) contents = convert::unwrap_jpeg(contents);
}

// The method of the module at the start of `module`, as its header names it.
std::string method_of(base::ByteView module) {
    return base::printable(base::text_of(base::clipped(module, codec::field::kMethod, 5)));
}

cli::ItemResult extract_module(cli::Run& run, const cli::Item& item, const Target& target,
                               const codec::ModuleInfo& m) {
    const std::optional<ExtractFile> file = extract_file_name(run, item, stored_name_of(m));
    if (!file) return failed();

    // The module is unpacked where it lies (an ISA ROM added with a segment
    // from a copy with its suffix cleared).
    base::Bytes isa_copy;
    const base::ByteView module = cli::module_to_read(
        base::slice(base::ByteView(run.image.bytes()), m.offset, m.length()), m.type_id, isa_copy);
    std::optional<base::Bytes> contents = codec::unpack(module, run.report());
    if (!contents) {
        // The unpacker has said why; an unknown method is named here too.
        if (!codec::known_method(module))
            print(run.con,
                  "%s is packed with the method \"%s\", which kitra does not unpack; nothing is "
                  "extracted.\n",
                  codec::module_description(m).c_str(), method_of(module).c_str());
        return failed();
    }
    // The contents are checked against the CRC the header records, but for
    // the kinds that are relocated where they lie: their CRC is that of the
    // file as it was added.
    std::optional<codec::ContentCheck> check;
    if (!cli::is_position_dependent(m.type_id)) check = codec::check_contents(module, *contents);
    restore_original_form(run, item, *contents);

    if (!write_extract_file(run, file->name, *contents, file->source)) return failed();
    if (check && !check->matches()) {
        // What was decoded may be all the user has of it: it is written, and
        // the item fails.
        print(run.con,
              "%s is damaged: its contents have the CRC %04Xh where its header records %04Xh. What was "
              "unpacked is written to %s all the same.\n",
              codec::module_description(m).c_str(), check->computed, check->stored,
              base::printable(file->name).c_str());
        return failed();
    }
    print_extracted(run, item, target, file->name);
    return {};
}

cli::ItemResult release_module(cli::Run& run, const cli::Item& item, const Target& target,
                               const Found& found) {
    // A module that does not end inside its area is no part of it that can
    // be closed up: removing it would either erase what lies behind the area
    // or do nothing and report success.
    const codec::ModuleInfo& m = found.module;
    if (m.offset + m.length() > found.limit) {
        print(run.con,
              "The module at %08llXh reaches past the end of the %s (%08llXh); it is not released. The "
              "image will be left unmodified.\n",
              static_cast<unsigned long long>(m.offset), found.area,
              static_cast<unsigned long long>(found.limit));
        return failed();
    }
    if (!remove_module(run, m.offset, m.step(), found.limit, "nothing is released, moved or erased."))
        return failed();
    print_released(run, item, target);
    return {};
}

// The top hole: unpacked data before its "$TopHole" trailer. A release only
// marks it: the finishing of a run without error erases it.
cli::ItemResult top_hole(cli::Run& run, const cli::Item& item) {
    const image::Layout& l = run.layout;
    if (l.top_hole_size == 0 || !base::in_range(run.image.bytes(), l.top_hole_start, l.top_hole_size))
        return not_found(run, item);
    if (item.kind == cli::ArgumentKind::Release) {
        run.flags.top_hole_released = true;
        print_released(run, item, {});
        return {};
    }
    const std::string file = "TOP_HOLE.BIN";
    const base::ByteView data =
        base::slice(base::ByteView(run.image.bytes()), l.top_hole_start, l.top_hole_size);
    if (!write_extract_file(run, file, base::Bytes(data.begin(), data.end()))) return failed();
    print_extracted(run, item, {}, file);
    return {};
}

// The non-compressed microcode area. A release only marks it: the finishing
// clears it. An extract writes its data and leaves the area as it is.
cli::ItemResult ncpucode_area(cli::Run& run, const cli::Item& item) {
    const image::Layout& l = run.layout;
    if (!l.ncpucode_present || l.ncpucode_size == 0 ||
        !base::in_range(run.image.bytes(), l.ncpucode_offset, l.ncpucode_size))
        return not_found(run, item);
    if (item.kind == cli::ArgumentKind::Release) {
        run.flags.ncpucode_released = true;
        print_released(run, item, {});
        return {};
    }
    const std::string file = given_extract_name(item).value_or("NCPUCODE.BIN");
    const base::ByteView data =
        base::slice(base::ByteView(run.image.bytes()), l.ncpucode_offset, l.ncpucode_size);
    if (!write_extract_file(run, file, base::Bytes(data.begin(), data.end()))) return failed();
    print_extracted(run, item, {}, file);
    return {};
}

}  // namespace

cli::ItemResult release_or_extract(cli::Run& run, const cli::Item& item) {
    const cli::Kind& kind = item.component_kind();
    if (kind.place == cli::Place::kTopHole) return top_hole(run, item);
    if (kind.place == cli::Place::kNcpucodeArea) return ncpucode_area(run, item);

    Target target;
    if (chooses_slot(kind.family)) {
        const SlotChoice choice = choose_slot(run, kind.family);
        if (choice.kind == SlotChoice::Kind::kCancelled) return {};
        if (choice.kind == SlotChoice::Kind::kNotFound) return not_found(run, item);
        target = {choice.type_id, kind.family, choice.letter};
    } else {
        // Options that create no module of the compressed area have nothing to find.
        if (item.type.type_id == cli::kNoType) return not_found(run, item);
        target.type_id = item.type.type_id;
    }

    const std::optional<Found> found = find_target(run, kind, target.type_id);
    if (!found) return not_found(run, item);
    if (item.kind == cli::ArgumentKind::Release) return release_module(run, item, target, *found);
    return extract_module(run, item, target, found->module);
}

}  // namespace kitra::edit
