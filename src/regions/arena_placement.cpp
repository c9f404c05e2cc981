#include "regions/arena_placement.h"

#include <algorithm>

#include "base/fatal.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "image/editable.h"
#include "image/layout.h"
#include "regions/bootblock_arena.h"
#include "regions/position_dependent.h"
#include "regions/space_advice.h"

namespace kitra::regions {

namespace {

using platform::print;

constexpr cli::ItemResult kFailed{.failed = true};

// The walks read a 64-byte header at every slot, so no module may start in
// the last 64 bytes of the arena.
constexpr std::uint64_t kHeaderRead = 64;

cli::ItemResult no_space(cli::Run& run) {
    print(run.con, "%s have not enough space for adding ROM in bootblock.\n\n",
          run.settings.image_name.c_str());
    return kFailed;
}

}  // namespace

cli::ItemResult add_to_arena(cli::Run& run, const cli::Item& item) {
    const cli::Kind& kind = item.component_kind();
    if (const auto refused = pe32_refusal(item.component, kind, item.component_name)) {
        cli::report_refusal(run, *refused);
        return kFailed;
    }
    // Arena modules carry no image checksum byte: they are stored as given.
    const base::Bytes module = codec::pack(item.component, codec::PackMode::kStore, item.component_name,
                                           item.type.type_id_text, run.encoder(), run.report());
    const std::optional<Arena> arena = find_arena(run.image.bytes());
    if (!arena) {
        print(run.con, "%s have no bootblock kitra arena define.\n\n", run.settings.image_name.c_str());
        return kFailed;
    }

    // The first free slot. A module of the new one's type on the way goes,
    // and the arena closes up behind it (whatever must move is made again
    // for its new place).
    const auto info = codec::module_at(module, 0);
    if (!info) throw Fatal("Internal error: a packed module is not a module.\n", 1);
    const std::uint64_t header = std::uint64_t{info->header_size} + 2;
    // What the module needs of the arena when the free slot is at `slot`:
    // the free slot below the arena's last 64 bytes, and header, pad and
    // data below its end.
    const auto needs = [&](std::uint64_t at) {
        return std::max(
            at + kHeaderRead + 1,
            at + header + alignment_pad(at, info->header_size, kind.alignment) + info->packed_size);
    };
    const auto full = [&] {
        const std::uint64_t end =
            std::min<std::uint64_t>(image::chain_end(run.image.bytes(), arena->start), arena->end);
        const cli::ItemResult failed = no_space(run);
        advise_release(run, {arena->start, end, arena->end, true},
                       needs(end) - std::min(needs(end), arena->end),
                       [&](std::uint64_t at) { return needs(at) <= arena->end; });
        return failed;
    };

    bool replaced = false;
    std::uint64_t slot = arena->start;
    while (codec::has_module_mark(run.image.bytes(), slot)) {
        // A module cut short, or one reaching past the arena's end, leaves
        // no room behind it.
        const auto m = codec::module_at(run.image.bytes(), slot);
        if (!m || slot + m->length() > arena->end) return no_space(run);
        if (m->type_id == item.type.type_id) {
            print(run.con, "CAUTION : This [%s] Memory sizing module Exist in BB\n",
                  item.component_name.c_str());
            if (const auto refused = compact(run.image, slot, m->step(), arena->end, run.report())) {
                cli::report_refusal(run, *refused);
                return kFailed;
            }
            run.flags.modules_moved = true;
            replaced = true;
            continue;
        }
        slot += m->step();
        if (slot + kHeaderRead >= arena->end) return full();
    }

    auto made = rebase_module(base::slice(module, 0, header), base::slice(module, header, info->packed_size),
                              slot, run.image.length(), kind, false);
    if (const auto* refused = std::get_if<std::string>(&made)) {
        cli::report_refusal(run, *refused);
        return kFailed;
    }
    const Rebased& r = std::get<Rebased>(made);
    // Header, pad and every data byte are written, and all of them must fit.
    if (slot + r.module.size() > arena->end) return full();
    if (const auto refused = patch_references(run.image, kind, r.placed)) {
        cli::report_refusal(run, *refused);
        return kFailed;
    }
    image::copy_into(run.image, slot, r.module);
    // The replacement stays, but it is what the run reports as its error.
    if (replaced) return {.failed = true, .keep_changes = true};
    return {};
}

}  // namespace kitra::regions
