#include "folder/pack.h"

#include <algorithm>

#include "base/sha256.h"
#include "base/text.h"
#include "cli/catalogue.h"
#include "cli/item.h"
#include "cli/options.h"
#include "cli/run_state.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "edit/add_module.h"
#include "edit/module_chain.h"
#include "folder/body.h"
#include "folder/file_names.h"
#include "folder/manifest.h"
#include "folder/module_bytes.h"
#include "image/image_file.h"
#include "image/layout.h"
#include "platform/files.h"
#include "regions/arena_placement.h"
#include "regions/bootblock_arena.h"
#include "regions/bootblock_modules.h"
#include "regions/bootblock_records.h"
#include "regions/position_dependent.h"

namespace kitra::folder {

namespace {

using base::Bytes;
using base::ByteView;
using platform::print;

using ull = unsigned long long;

constexpr std::uint64_t kMaxManifestSize = 64u << 20;

// A refusal: the entry it is about (empty for the folder as a whole) and why.
struct Refusal {
    std::string label;
    std::string reason;
};

enum class State : std::uint8_t {
    kKept,     // as unpacked: put back byte for byte
    kChanged,  // its file, stream or fields changed: released and added again
    kGone,     // its file is gone: released
    kNew,      // an entry without an offset: added
};

struct Loaded {
    const ModuleEntry* entry = nullptr;
    std::string label;
    bool body = false;
    State state = State::kKept;
    Bytes file;
    Bytes module;                                 // kKept: the module as it lay
    const cli::CatalogueEntry* option = nullptr;  // kChanged, kNew: how it is added
};

std::string sha256_of(ByteView bytes) {
    return base::sha256_text(base::sha256(bytes));
}

// A file of the folder: its bytes, none when it is not there, or a refusal.
std::optional<Bytes> read_part(const ReadFolderFile& read, const std::string& name, const std::string& label,
                               std::uint64_t max_size) {
    if (const auto unsafe = unsafe_name(name))
        throw Refusal{label, "the file name \"" + base::printable(name) + "\" is refused: " + *unsafe};
    FolderRead got = read(name, max_size);
    if (!got.problem.empty()) throw Refusal{label, got.problem};
    return std::move(got.bytes);
}

// The folder on disk.
FolderRead read_from_disk(const std::string& folder, const std::string& name, std::uint64_t max_size) {
    const std::string path = path_in(folder, name);
    if (platform::file_kind(path) == platform::FileKind::kMissing) return {};
    auto read = platform::read_file_up_to(path, max_size, true);
    if (auto* bytes = std::get_if<Bytes>(&read)) return {std::move(*bytes), {}};
    switch (std::get<platform::ReadProblem>(read)) {
        case platform::ReadProblem::kTooLarge:
            return {std::nullopt, base::format("%s is larger than the %llu bytes it may hold",
                                               base::printable(name).c_str(), static_cast<ull>(max_size))};
        case platform::ReadProblem::kNotRegular:
            return {std::nullopt, base::printable(name) + " is not a regular file"};
        case platform::ReadProblem::kCannotRead:
            break;
    }
    return {std::nullopt, "Can't read " + base::printable(name)};
}

// Every byte of the image belongs to exactly one part.
void check_tiling(const Manifest& m) {
    struct Span {
        std::uint64_t offset = 0;
        std::uint64_t end = 0;
        std::string label;
    };
    std::vector<Span> spans;
    if (m.body) spans.push_back({*m.body->offset, *m.body->offset + m.body->span(), body_label(*m.body)});
    for (std::size_t n = 0; n < m.modules.size(); ++n) {
        const ModuleEntry& e = m.modules[n];
        if (e.offset) spans.push_back({*e.offset, *e.offset + e.span(), module_label(e, n)});
    }
    for (std::size_t n = 0; n < m.regions.size(); ++n) {
        const RegionEntry& r = m.regions[n];
        if (r.length == 0 || r.offset > m.length || r.length > m.length)
            throw Refusal{region_label(r, n),
                          base::format("a region of %llu bytes at %llXh does not fit an image "
                                       "of %llu bytes",
                                       static_cast<ull>(r.length), static_cast<ull>(r.offset),
                                       static_cast<ull>(m.length))};
        spans.push_back({r.offset, r.offset + r.length, region_label(r, n)});
    }
    std::stable_sort(spans.begin(), spans.end(),
                     [](const Span& a, const Span& b) { return a.offset < b.offset; });
    std::uint64_t at = 0;
    std::string before = "the image's start";
    for (const Span& s : spans) {
        if (s.offset > at)
            throw Refusal{s.label,
                          base::format("the bytes %08llXh-%08llXh between %s and it belong to no entry",
                                       static_cast<ull>(at), static_cast<ull>(s.offset - 1), before.c_str())};
        if (s.offset < at)
            throw Refusal{s.label,
                          base::format("it begins at %08llXh, inside %s, which ends at %08llXh",
                                       static_cast<ull>(s.offset), before.c_str(), static_cast<ull>(at))};
        at = s.end;
        before = s.label;
    }
    if (at != m.length)
        throw Refusal{
            "image",
            base::format("the entries end at %08llXh, but the image is %llu (%llXh) bytes long",
                         static_cast<ull>(at), static_cast<ull>(m.length), static_cast<ull>(m.length))};
}

// The option whose rules add a changed or new module of this area.
const cli::CatalogueEntry* adding_option(const ModuleEntry& e, const std::string& label) {
    const std::string word = e.option.empty() && e.area == Area::kChain ? "/other" : e.option;
    const cli::CatalogueEntry* option = cli::entry_for_code(cli::lookup_option(word));
    const auto place = option ? option->kind.place : cli::Place::kNowhere;
    const bool fits = (e.area == Area::kChain && place == cli::Place::kChain) ||
                      (e.area == Area::kArena && place == cli::Place::kArena) ||
                      (e.area == Area::kBootblockVga && option && option->code == cli::option::kBtVga);
    if (!fits)
        throw Refusal{label, base::format("\"option\" \"%s\" does not add modules to the %s; give the option "
                                          "whose rules pack it",
                                          base::printable(word).c_str(), area_word(e.area))};
    return option;
}

Loaded load_module(const ReadFolderFile& folder, const ModuleEntry& e, std::string label, bool body) {
    Loaded l;
    l.entry = &e;
    l.label = std::move(label);
    l.body = body;
    auto file = read_part(folder, e.file, l.label, codec::kMaxUnpackedSize);
    if (!e.offset) {
        if (!file) throw Refusal{l.label, "the file of a module to add is not there"};
        l.state = State::kNew;
        l.file = std::move(*file);
        return l;
    }
    if (!file) {
        l.state = State::kGone;
        return l;
    }
    l.file = std::move(*file);
    std::optional<Bytes> stream;
    if (e.stream) stream = read_part(folder, *e.stream, l.label, codec::kMaxUnpackedSize);
    l.state = State::kChanged;
    if (sha256_of(l.file) == e.sha256 && (!e.stream || stream)) {
        l.module = module_bytes(e, l.file, stream ? std::optional<ByteView>(*stream) : std::nullopt);
        if (sha256_of(l.module) == e.module_sha256) l.state = State::kKept;
        // The module takes the bytes its entry's sizes give it, no more, no less.
        const std::uint64_t sized = std::uint64_t{e.header_size} + 2 + e.packed_size;
        if (l.state == State::kKept && l.module.size() != sized)
            throw Refusal{l.label,
                          base::format("\"header_size\" and \"packed_size\" give it %llu bytes, but its "
                                       "module is %zu bytes long",
                                       static_cast<ull>(sized), l.module.size())};
    }
    if (l.state == State::kChanged && !e.unpacked)
        throw Refusal{
            l.label,
            "kitra could not unpack this module, so its file holds its data as they lay and cannot be "
            "packed again; put it back as it was, or remove it to release the module"};
    return l;
}

// A module that lay in the image and goes: something of its length that the
// chain's walks take for it (its method keeps the system BIOS search
// finding what it found), released before anything reads it.
Bytes placeholder(const ModuleEntry& e) {
    namespace field = codec::field;
    Bytes m(std::uint64_t{e.header_size} + 2 + e.packed_size, 0x00);
    m[field::kHeaderSize] = e.header_size;
    for (std::size_t i = 0; i < 5; ++i) m[field::kMethod + i] = static_cast<std::uint8_t>(e.method[i]);
    base::write_u32(m, field::kPackedSize, e.packed_size);
    base::write_u32(m, field::kOriginalSize, e.original_size);
    base::write_u16(m, field::kTypeSuffix, e.type_suffix);
    base::write_u16(m, field::kTypeId, e.type_id);
    return m;
}

std::string type_text(std::uint16_t type_id, std::uint16_t suffix) {
    return base::format("%04X:%X", type_id, suffix);
}

// A changed or new module as the item of a legacy add.
cli::Item item_for(const Loaded& l) {
    const ModuleEntry& e = *l.entry;
    cli::Item item;
    item.option_code = l.option->code;
    item.type.valid = true;
    item.type.option_code = l.option->code;
    item.type.type_id = e.type_id;
    // An ISA ROM's segment goes over the suffix when it is placed.
    const bool segment = cli::family_of_type(e.type_id) == cli::Family::kIsa;
    item.type.type_id_text = type_text(e.type_id, segment ? 0 : e.type_suffix);
    if (segment) item.type.isa_segment = e.type_suffix;
    item.kind = cli::ArgumentKind::ComponentFile;
    item.argument = e.file;
    item.component_name = e.name;
    item.component = l.file;
    return item;
}

std::string described(const Loaded& l) {
    const ModuleEntry& e = *l.entry;
    const std::string kind = e.kind.empty() ? type_text(e.type_id, e.type_suffix) : e.kind;
    return base::format("%s (%s \"%s\")", base::printable(e.file).c_str(), base::printable(kind).c_str(),
                        base::printable(e.name).c_str());
}

struct Packer {
    const cli::ImageStart& start;
    std::string folder;
    const ReadFolderFile& files;
    Manifest manifest;
    std::vector<Loaded> modules;              // the body first, when there is one
    std::vector<std::size_t> regions_edited;  // their indexes

    platform::Console& con() const { return start.con; }

    void load() {
        const FolderRead read = files(kManifestName, kMaxManifestSize);
        const auto& text = read.bytes;
        if (!text) throw Refusal{kManifestName, "Can't read it; is this a folder kitra --unpack made?"};
        auto parsed = read_manifest(std::string(text->begin(), text->end()));
        if (const auto* problem = std::get_if<std::string>(&parsed)) throw Refusal{"", *problem};
        manifest = std::move(std::get<Manifest>(parsed));
        if (manifest.length < image::kMinimumImageSize || manifest.length > image::kMaximumImageSize)
            throw Refusal{"image", base::format("an image of %llu bytes; an image holds 128 KB to 256 MB",
                                                static_cast<ull>(manifest.length))};
        check_tiling(manifest);
        if (manifest.body)
            modules.push_back(load_module(files, *manifest.body, body_label(*manifest.body), true));
        for (std::size_t n = 0; n < manifest.modules.size(); ++n)
            modules.push_back(
                load_module(files, manifest.modules[n], module_label(manifest.modules[n], n), false));
        check_changes();
    }

    // What the legacy commands cannot do, or would do to a module that the
    // manifest keeps, is refused before anything is made.
    void check_changes() {
        for (Loaded& l : modules) {
            const ModuleEntry& e = *l.entry;
            if ((l.state == State::kChanged || l.state == State::kNew) &&
                e.name.size() > codec::kMaxStoredName)
                throw Refusal{l.label,
                              "its stored name is longer than 230 bytes: packed again, it would not fit a "
                              "module header"};
            if (l.body) {
                if (l.state == State::kGone)
                    throw Refusal{l.label, "the system BIOS body cannot be released; put its file back"};
                continue;
            }
            if (e.area == Area::kBootblockVga && (l.state == State::kGone || l.state == State::kNew))
                throw Refusal{l.label, "the bootblock VGA module can be changed, not removed or added"};
            if (l.state != State::kChanged && l.state != State::kNew) continue;
            l.option = adding_option(e, l.label);
            // A new module takes a type of its own; the arena's add replaces
            // the module of the type it adds.
            for (const Loaded& other : modules) {
                if (&other == &l || other.body || other.state == State::kGone ||
                    other.entry->area != e.area || other.entry->type_id != e.type_id)
                    continue;
                if (l.state == State::kNew || e.area == Area::kArena)
                    throw Refusal{l.label, base::format("its type %s is %s's; give it a type of its own, or "
                                                        "remove that module",
                                                        type_text(e.type_id, e.type_suffix).c_str(),
                                                        other.label.c_str())};
            }
        }
    }

    Bytes base_image() {
        Bytes image(manifest.length, 0xFF);
        for (std::size_t n = 0; n < manifest.regions.size(); ++n) {
            const RegionEntry& r = manifest.regions[n];
            if (r.fill) {
                base::fill(image, r.offset, r.length, *r.fill);
                continue;
            }
            const std::string label = region_label(r, n);
            const auto file = read_part(files, *r.file, label, r.length);
            if (!file) throw Refusal{label, "its file is not there; a region keeps its bytes"};
            if (file->size() != r.length)
                throw Refusal{label, base::format("its file holds %zu bytes; the region is %llu bytes long",
                                                  file->size(), static_cast<ull>(r.length))};
            if (sha256_of(*file) != r.sha256) regions_edited.push_back(n);
            base::copy_into(image, r.offset, *file);
        }
        for (const Loaded& l : modules) {
            const ModuleEntry& e = *l.entry;
            if (!e.offset) continue;
            const Bytes module = l.state == State::kKept ? l.module : placeholder(e);
            base::copy_into(image, *e.offset, module);
            if (e.separator) base::write_u8(image, *e.offset + module.size(), *e.separator);
        }
        return image;
    }

    // The releases, last first: the modules before each stay where the
    // manifest has them.
    void release(cli::Run& run) {
        std::vector<const Loaded*> going;
        for (const Loaded& l : modules)
            if (!l.body && (l.state == State::kGone || l.state == State::kChanged)) going.push_back(&l);
        std::sort(going.begin(), going.end(),
                  [](const Loaded* a, const Loaded* b) { return *a->entry->offset > *b->entry->offset; });
        for (const Loaded* l : going) {
            const ModuleEntry& e = *l->entry;
            const std::uint64_t step = std::uint64_t{e.header_size} + e.packed_size + 3;
            if (l->state == State::kGone) print(con(), "  released  %s\n", described(*l).c_str());
            if (e.area == Area::kArena) {
                const auto arena = regions::find_arena(run.image.bytes());
                if (!arena) throw Refusal{l->label, "the image has no bootblock arena to release it from"};
                if (auto refused = regions::compact(run.image, *e.offset, step, arena->end, run.report()))
                    throw Refusal{l->label, *refused};
                run.flags.modules_moved = true;
            } else if (!edit::remove_module(run, *e.offset, step, image::module_limit(run.layout),
                                            "it cannot be released.")) {
                throw Refusal{l->label, "it cannot be released (said above)"};
            }
        }
    }

    void repack_body(cli::Run& run, const Loaded& l) {
        const ModuleEntry& e = *l.entry;
        print(con(), "  body      %s\n", described(l).c_str());
        auto done = replace_body(run, l.file, e.name, type_text(e.type_id, e.type_suffix));
        if (const auto* refused = std::get_if<std::string>(&done)) throw Refusal{l.label, *refused};
        const BodyReplaced& b = std::get<BodyReplaced>(done);
        if (b.shift == 0)
            print(con(), "            the system BIOS module is now %llu bytes; the module chain stays\n",
                  static_cast<ull>(b.module_size));
        else
            print(con(),
                  "            the system BIOS module is now %llu bytes; the module chain moved %s by %llu "
                  "bytes\n",
                  static_cast<ull>(b.module_size), b.shift > 0 ? "up" : "down",
                  static_cast<ull>(b.shift > 0 ? b.shift : -b.shift));
    }

    void add(cli::Run& run, const Loaded& l) {
        const ModuleEntry& e = *l.entry;
        print(con(), "  %s %s\n", l.state == State::kNew ? "added    " : "replaced ", described(l).c_str());
        const cli::Item item = item_for(l);
        cli::ItemResult result;
        if (e.area == Area::kArena) {
            result = regions::add_to_arena(run, item);
        } else if (e.area == Area::kBootblockVga) {
            if (!run.layout.extended_layout)
                throw Refusal{l.label,
                              "/btvga places a VGA ROM only in an image of the extended bootblock layout"};
            if (regions::bootblock_marker_line(run.image.bytes(), regions::bootblock_line::kVgaRomMarker))
                throw Refusal{l.label,
                              "the image has a \"BtBkVgaRom\" area, where /btvga puts the ROM instead of "
                              "this module"};
            result = regions::add_to_bootblock(run, item);
        } else {
            auto prepared = edit::prepare_module(run, item);
            if (const auto* failed = std::get_if<cli::ItemResult>(&prepared)) {
                result = *failed;
            } else {
                const std::uint64_t limit = image::module_limit(run.layout);
                if (const auto broken = edit::chain_break(run.image.bytes(), run.layout.walk_start, limit))
                    throw Refusal{l.label,
                                  base::format("the module chain is broken at offset %08llXh; no free "
                                               "space is found for it",
                                               static_cast<ull>(*broken))};
                const std::uint64_t pos = image::chain_end(run.image.bytes(), run.layout.walk_start);
                result = edit::place_prepared(
                    run, item, std::move(std::get<edit::PreparedModule>(prepared).module), pos, e.type_id);
            }
        }
        if (result.failed) throw Refusal{l.label, "it cannot be added (said above)"};
    }

    int run() {
        load();
        Bytes image = base_image();
        const bool as_unpacked = sha256_of(image) == manifest.sha256;
        cli::Run* run = start.begin(std::move(image));
        if (run == nullptr) return 1;
        print(con(), "Packing %s from %s:\n", base::printable(start.path).c_str(),
              base::printable(folder).c_str());
        if (!as_unpacked) run->flags.made_with_edits = true;
        for (const std::size_t n : regions_edited) {
            const RegionEntry& r = manifest.regions[n];
            print(con(), "  edited    %s (%s, %llu bytes at %08llXh)\n", base::printable(*r.file).c_str(),
                  base::printable(r.name).c_str(), static_cast<ull>(r.length), static_cast<ull>(r.offset));
        }
        release(*run);
        for (const Loaded& l : modules)
            if (l.body && l.state == State::kChanged) repack_body(*run, l);
        for (const Loaded& l : modules)
            if (!l.body && (l.state == State::kChanged || l.state == State::kNew)) add(*run, l);
        std::size_t kept = 0;
        for (const Loaded& l : modules) kept += l.state == State::kKept && !l.body ? 1 : 0;
        if (as_unpacked)
            print(con(), "  nothing changed: the image as it was unpacked, %zu modules kept byte for byte\n",
                  kept);
        else
            print(con(), "  %zu modules kept as they were\n", kept);
        return 0;
    }
};

}  // namespace

int pack_folder(const cli::ImageStart& start, const std::string& folder) {
    return pack_files(start, folder, [&](const std::string& name, std::uint64_t max_size) {
        return read_from_disk(folder, name, max_size);
    });
}

int pack_files(const cli::ImageStart& start, const std::string& folder, const ReadFolderFile& read) {
    Packer packer{start, folder, read, {}, {}, {}};
    try {
        return packer.run();
    } catch (const Refusal& r) {
        const std::string where = r.label.empty() ? "" : r.label + ": ";
        platform::print_error(start.con, "kitra --pack: in %s, %s%s. Nothing is written.\n",
                              base::printable(folder).c_str(), where.c_str(), r.reason.c_str());
        return 1;
    }
}

}  // namespace kitra::folder
