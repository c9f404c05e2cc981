#include "microcode/microcode_changes.h"

#include <algorithm>
#include <optional>
#include <string>

#include "base/text.h"
#include "cli/catalogue.h"
#include "cli/item.h"
#include "cli/options.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "convert/microcode_places.h"
#include "convert/microcode_update.h"
#include "edit/add_module.h"
#include "edit/module_chain.h"
#include "edit/special_areas.h"
#include "image/layout.h"
#include "microcode/microcode_listing.h"
#include "regions/finishing.h"

namespace kitra::microcode {

namespace {

using base::Bytes;
using base::ByteView;
using base::format;
using convert::ImageMicrocode;
using convert::MicrocodePlace;
using convert::PlaceUpdates;
using convert::Update;
using convert::Vendor;
using platform::print;

using ull = unsigned long long;

// An update of the place as it will be written.
struct Entry {
    Bytes bytes;
    Update update;
    std::optional<std::size_t> listed;  // one from the image: its index in the listing (from 0)
};

// A place the command rewrites: what it holds now, what it will hold, and
// the lines that say why.
struct Target {
    MicrocodePlace place = MicrocodePlace::kModule;
    const PlaceUpdates* existing = nullptr;  // nullptr: the image has none yet
    std::vector<Entry> entries;
    std::vector<std::string> lines;
    bool changed = false;
};

void refuse(cli::Run& run, const std::string& why) {
    platform::print_error(run.con, "%s The image is left unmodified.\n", why.c_str());
}

std::string capitalized(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

// The stored name the module keeps (a new one takes /cpucode's).
std::string module_name(const Target& t) {
    if (t.existing) return t.existing->module.name;
    return std::string(cli::default_input(cli::option::kCpuCode).prepared);
}

std::string place_phrase(const Target& t) {
    if (t.place == MicrocodePlace::kModule)
        return format("%sCPU microcode module \"%s\"", t.existing ? "the " : "a new ",
                      base::printable(module_name(t)).c_str());
    return t.existing ? "the uncompressed microcode area" : "a new uncompressed microcode area";
}

std::string entry_text(const Entry& e) {
    const std::string text = describe_update(e.update);
    return e.listed ? format("#%zu %s", *e.listed + 1, text.c_str()) : text;
}

// Why a place may not be written again: what it holds besides whole
// updates may be read by the firmware (a table of pointers, padding), and
// writing the updates alone would lose it.
std::optional<std::string> why_kept(const Target& t) {
    const PlaceUpdates* p = t.existing;
    if (!p) return std::nullopt;
    if (p->unreadable)
        return format("%s cannot be unpacked, so it is not rewritten.", place_phrase(t).c_str());
    if (p->found.other.empty()) return std::nullopt;
    std::uint64_t total = 0;
    for (const convert::ByteSpan& s : p->found.other) total += s.length;
    const convert::ByteSpan& first = p->found.other.front();
    return format(
        "%s holds %llu bytes that are not updates (the first at %05llXh-%05llXh); the firmware may read them "
        "(a table of pointers, padding), so it is not rewritten.",
        place_phrase(t).c_str(), static_cast<ull>(total), static_cast<ull>(first.offset),
        static_cast<ull>(first.offset + first.length - 1));
}

// The place of `kind` as the command will rewrite it, or why it cannot.
std::optional<Target> target_for(cli::Run& run, const ImageMicrocode& im, MicrocodePlace kind) {
    Target t;
    t.place = kind;
    std::size_t count = 0;
    std::size_t index = 0;
    for (std::size_t i = 0; i < im.places.size(); ++i) {
        if (im.places[i].place != kind) continue;
        ++count;
        t.existing = &im.places[i];
        index = i;
    }
    if (count > 1) {
        refuse(run, format("%s holds %zu CPU microcode modules; kitra rewrites an image with one only.",
                           base::printable(run.settings.image_name).c_str(), count));
        return std::nullopt;
    }
    if (const auto why = why_kept(t)) {
        refuse(run, capitalized(*why));
        return std::nullopt;
    }
    if (kind == MicrocodePlace::kUncompressed && !t.existing &&
        !regions::microcode_pointer_offset(run.image.bytes())) {
        refuse(run,
               format("%s has no \"*BS1\" record to point the firmware at an uncompressed microcode area.",
                      base::printable(run.settings.image_name).c_str()));
        return std::nullopt;
    }
    if (!t.existing) return t;
    for (std::size_t i = 0; i < im.updates.size(); ++i) {
        if (im.updates[i].place != index) continue;
        const Update& u = im.updates[i].update;
        const ByteView whole = base::slice(ByteView(t.existing->bytes), u.offset, u.size);
        t.entries.push_back({Bytes(whole.begin(), whole.end()), u, i});
    }
    return t;
}

// Why the place's legacy reader would not step over `u` whole, if it would not.
std::optional<std::string> legacy_size_problem(const Target& t, bool bridge, const Update& u,
                                               ByteView bytes) {
    if (t.place == MicrocodePlace::kModule || bridge) {
        if (u.size == convert::kRecordSize) return std::nullopt;
        return format("%s is read in records of 2048 bytes, and this update is %u bytes long",
                      t.place == MicrocodePlace::kModule ? "the CPU microcode module"
                                                         : "a bridge-ID board's uncompressed area",
                      u.size);
    }
    const std::uint32_t word = base::read_u32(bytes, convert::intel_update::kTotalSize);
    if ((word == 0 ? convert::kRecordSize : word) == u.size) return std::nullopt;
    return format(
        "the uncompressed area is read at steps of each record's total size word (offset 32), and this "
        "update's word %08X is not its size of %u bytes",
        word, u.size);
}

bool same_processor(const Update& a, const Update& b) {
    return a.vendor == b.vendor && a.cpuid() == b.cpuid() && a.platform_mask() == b.platform_mask() &&
           a.north_bridge == b.north_bridge && a.south_bridge == b.south_bridge;
}

std::string revision_text(const Update& u) {
    if (u.vendor == Vendor::kAmd) return format("patch %08X", u.revision);
    const auto date = convert::iso_date(u.date);
    return format("revision %08X (%s)", u.revision, date ? date->c_str() : "no date");
}

// The input that goes on for each processor: the highest revision among
// the files (the first of equals); the others are skipped.
std::vector<std::optional<std::size_t>> best_inputs(const std::vector<InputUpdate>& inputs) {
    std::vector<std::optional<std::size_t>> beaten_by(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i)
        for (std::size_t j = 0; j < inputs.size(); ++j) {
            const Update& a = inputs[i].update;
            const Update& b = inputs[j].update;
            if (i == j || !same_processor(a, b)) continue;
            if (b.revision > a.revision || (b.revision == a.revision && j < i)) {
                if (!beaten_by[i] || inputs[*beaten_by[i]].update.revision < b.revision) beaten_by[i] = j;
            }
        }
    return beaten_by;
}

void add_one(Target& t, const InputUpdate& in, const AddOptions& options) {
    const Update& u = in.update;
    const std::string from = " from " + base::printable(in.file);
    const auto same = std::find_if(t.entries.begin(), t.entries.end(),
                                   [&](const Entry& e) { return same_processor(e.update, u); });
    if (same == t.entries.end()) {
        // In CPUID order: before the first update for a higher CPUID.
        const auto at = std::find_if(t.entries.begin(), t.entries.end(),
                                     [&](const Entry& e) { return e.update.cpuid() > u.cpuid(); });
        t.entries.insert(at, {in.bytes, u, std::nullopt});
        t.lines.push_back("  added     " + describe_update(u) + from);
        t.changed = true;
        return;
    }
    const Update& old = same->update;
    if (u.revision > old.revision || (options.downgrade && u.revision < old.revision)) {
        t.lines.push_back(format("  replaced  %s by %s%s%s", entry_text(*same).c_str(),
                                 revision_text(u).c_str(), from.c_str(),
                                 u.revision < old.revision ? " (a downgrade)" : ""));
        *same = {in.bytes, u, std::nullopt};
        t.changed = true;
        return;
    }
    std::string why;
    if (same->bytes == in.bytes)
        why = "it is in the image already";
    else if (u.revision == old.revision)
        why = format("%s has the same revision", entry_text(*same).c_str());
    else
        why = format("%s is newer; --downgrade replaces it", entry_text(*same).c_str());
    t.lines.push_back("  skipped   " + describe_update(u) + from + ": " + why);
}

Bytes joined(const Target& t) {
    Bytes data;
    for (const Entry& e : t.entries) data.insert(data.end(), e.bytes.begin(), e.bytes.end());
    return data;
}

// What a place will be written as, once its size is checked.
struct Written {
    Bytes bytes;  // the module (header, data, separator) or the area's data
    std::uint64_t size = 0;
    std::uint64_t room = 0;
};

// The new contents of a changed place, its size and its room, printed.
// Returns nothing when it does not fit (said on the error stream).
std::optional<Written> prepare(cli::Run& run, const Target& t) {
    Written w;
    const Bytes data = joined(t);
    const std::uint64_t chain_end = image::chain_end(run.image.bytes(), run.layout.walk_start);
    if (data.empty()) {
        print(run.con, "No update is left: %s is removed.\n", place_phrase(t).c_str());
        return w;
    }
    if (t.place == MicrocodePlace::kUncompressed) {
        w.room = edit::ncpucode_room(run.layout, chain_end);
        w.size = data.size();
        w.bytes = data;
        print(run.con, "The area's updates take %llu bytes; %llu bytes are free for them.\n",
              static_cast<ull>(w.size), static_cast<ull>(w.room));
    } else {
        const cli::CatalogueEntry* entry = cli::entry_for_code(cli::option::kCpuCode);
        w.bytes = codec::pack(data, codec::PackMode::kQuiet, module_name(t), entry->type_id_text,
                              run.encoder(), run.report());
        const auto info = codec::module_at(w.bytes, 0);
        // A stored module goes in without its separator byte.
        w.size = info && info->stored ? info->length() : w.bytes.size();
        // The old module's bytes are free once the walk has taken it out.
        const std::uint64_t freed = t.existing ? t.existing->module.step() : 0;
        const std::uint64_t limit = image::module_limit(run.layout);
        const std::uint64_t from = chain_end >= freed ? chain_end - freed : 0;
        w.room = limit > from ? limit - from : 0;
        print(run.con, "The module packs to %llu bytes; %llu bytes are free for it.\n",
              static_cast<ull>(w.size), static_cast<ull>(w.room));
    }
    if (w.size <= w.room) return w;
    refuse(run, format("It does not fit by %llu bytes.", static_cast<ull>(w.size - w.room)));
    return std::nullopt;
}

// Writes the place; the item's undo puts back whatever a step that fails
// had written.
bool write_place(cli::Run& run, const Target& t, const Written& w) {
    cli::ItemUndo undo(run);
    bool done = true;
    if (t.place == MicrocodePlace::kUncompressed) {
        if (w.bytes.empty())
            run.flags.ncpucode_released = true;  // finishing erases it
        else
            done = edit::place_ncpucode_data(run, w.bytes);
    } else if (w.bytes.empty()) {
        const codec::ModuleInfo& m = t.existing->module;
        done = edit::remove_module(run, m.offset, m.step(), image::module_limit(run.layout),
                                   "nothing is removed.");
    } else {
        const cli::CatalogueEntry* entry = cli::entry_for_code(cli::option::kCpuCode);
        cli::Item item;
        item.option_code = entry->code;
        item.type.valid = true;
        item.type.option_code = entry->code;
        item.type.type_id_text = std::string(entry->type_id_text);
        item.type.type_id = entry->type_id;
        item.kind = cli::ArgumentKind::ComponentFile;
        item.component_name = module_name(t);
        item.component = w.bytes;
        item.built_in_module = true;  // packed here: added as it is
        done = !edit::add_module(run, item).failed;
    }
    if (!done) undo.undo(run);
    return done;
}

// Prints each place's plan with its new size against its room, then, when
// every place fits, writes them: the non-compressed area first, since a
// smaller area there leaves the module more room, never less.
int carry_out(cli::Run& run, std::vector<Target>& targets) {
    std::vector<std::pair<const Target*, Written>> writes;
    for (const Target& t : targets) {
        if (t.lines.empty()) continue;
        print(run.con, "%s of %s:\n", capitalized(place_phrase(t)).c_str(),
              base::printable(run.settings.image_name).c_str());
        for (const std::string& line : t.lines) print(run.con, "%s\n", line.c_str());
        if (!t.changed) continue;
        auto w = prepare(run, t);
        if (!w) return 1;
        writes.emplace_back(&t, std::move(*w));
    }
    if (writes.empty()) {
        print(run.con, "Nothing to change; the image is left as it was.\n");
        return 0;
    }
    std::stable_sort(writes.begin(), writes.end(), [](const auto& a, const auto& b) {
        return a.first->place == MicrocodePlace::kUncompressed &&
               b.first->place != MicrocodePlace::kUncompressed;
    });
    for (const auto& [t, w] : writes)
        if (!write_place(run, *t, w)) return 1;
    return 0;
}

}  // namespace

int add_updates(cli::Run& run, const std::vector<InputUpdate>& inputs, const AddOptions& options) {
    const ImageMicrocode im = convert::image_microcode(run.image.bytes(), run.layout, run.report());
    auto target =
        target_for(run, im, options.uncompressed ? MicrocodePlace::kUncompressed : MicrocodePlace::kModule);
    if (!target) return 1;
    if (!options.force) {
        bool refused = false;
        for (const InputUpdate& in : inputs) {
            const auto problem = legacy_size_problem(*target, im.bridge_layout, in.update, in.bytes);
            if (!problem) continue;
            platform::print_error(
                run.con, "%s: the update at offset %llXh (%s) is refused: %s; --force adds it anyway.\n",
                base::printable(in.file).c_str(), static_cast<ull>(in.update.offset),
                describe_update(in.update).c_str(), problem->c_str());
            refused = true;
        }
        if (refused) {
            refuse(run, "Nothing is added.");
            return 1;
        }
    }
    const auto beaten_by = best_inputs(inputs);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (!beaten_by[i]) {
            add_one(*target, inputs[i], options);
            continue;
        }
        const InputUpdate& better = inputs[*beaten_by[i]];
        const bool twice = better.bytes == inputs[i].bytes;
        target->lines.push_back(format("  skipped   %s from %s: %s",
                                       describe_update(inputs[i].update).c_str(),
                                       base::printable(inputs[i].file).c_str(),
                                       twice ? "it comes twice"
                                             : format("%s has %s", base::printable(better.file).c_str(),
                                                      revision_text(better.update).c_str())
                                                   .c_str()));
    }
    std::vector<Target> targets;
    targets.push_back(std::move(*target));
    return carry_out(run, targets);
}

int remove_updates(cli::Run& run, const std::vector<Selector>& selectors) {
    const ImageMicrocode im = convert::image_microcode(run.image.bytes(), run.layout, run.report());
    std::vector<bool> chosen(im.updates.size(), false);
    bool refused = false;
    for (const Selector& s : selectors) {
        bool any = false;
        bool in_bootblock = false;
        for (std::size_t i = 0; i < im.updates.size(); ++i) {
            if (!selects(s, im.updates[i].update, i + 1)) continue;
            if (im.places[im.updates[i].place].place == MicrocodePlace::kBootblock) {
                in_bootblock = true;
                continue;
            }
            chosen[i] = true;
            any = true;
        }
        if (any) continue;
        platform::print_error(run.con, "%s matches %s.\n", base::printable(s.text).c_str(),
                              in_bootblock
                                  ? "updates in the bootblock's area only, which kitra does not change"
                                  : "no update of the image");
        refused = true;
    }
    if (refused) {
        refuse(run, "Nothing is removed.");
        return 1;
    }
    std::vector<Target> targets;
    for (const MicrocodePlace kind : {MicrocodePlace::kModule, MicrocodePlace::kUncompressed}) {
        bool touched = false;
        for (std::size_t i = 0; i < im.updates.size(); ++i)
            touched |= chosen[i] && im.places[im.updates[i].place].place == kind;
        if (!touched) continue;
        auto target = target_for(run, im, kind);
        if (!target) return 1;
        std::vector<Entry> kept;
        for (Entry& e : target->entries) {
            if (chosen[*e.listed]) {
                target->lines.push_back("  removed   " + entry_text(e));
                target->changed = true;
            } else {
                kept.push_back(std::move(e));
            }
        }
        target->entries = std::move(kept);
        targets.push_back(std::move(*target));
    }
    return carry_out(run, targets);
}

}  // namespace kitra::microcode
