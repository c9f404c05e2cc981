#include "app/item_loop.h"

#include <algorithm>

#include "app/held_image.h"
#include "cli/catalogue.h"
#include "cli/item.h"
#include "cli/options.h"
#include "codec/packer.h"
#include "convert/default_inputs.h"
#include "edit/add_module.h"
#include "edit/release_extract.h"
#include "image/layout.h"
#include "listing/listing.h"
#include "platform/files.h"
#include "regions/arena_placement.h"
#include "regions/boot_on_internet.h"
#include "regions/bootblock_modules.h"
#include "regions/finishing.h"
#include "regions/hole_areas.h"

namespace kitra::app {

namespace {

using cli::ArgumentKind;
using cli::Item;
using cli::ItemResult;
using cli::Place;
using cli::Run;
using platform::print;

// "release" or "extract": the operation of the item's place.
ItemResult release_or_extract(Run& run, Item& item) {
    image::reread_ncpucode_pointer(run.image.bytes(), run.layout);
    switch (item.component_kind().place) {
        case Place::kHole:
            return regions::release_or_extract_hole(run, item);
        case Place::kNowhere:
        case Place::kChain:
        case Place::kArena:
        case Place::kNcpucodeArea:
        case Place::kTopHole:
        case Place::kBootblockArea:
        case Place::kBootOnInternet:
            break;
    }
    return edit::release_or_extract(run, item);
}

// A component (a file read whole, or the module a built-in input gave): the
// operation of the item's place.
ItemResult add_component(Run& run, Item& item) {
    const cli::Kind& kind = item.component_kind();
    switch (kind.place) {
        case Place::kBootblockArea:
            return regions::add_to_bootblock(run, item);
        case Place::kArena:
            return regions::add_to_arena(run, item);
        case Place::kHole:
            return regions::add_to_hole(run, item);
        case Place::kChain:
        case Place::kNowhere:
        case Place::kNcpucodeArea:
        case Place::kTopHole:
        case Place::kBootOnInternet:
            break;
    }
    return edit::add_module(run, item);
}

// An item given without a component file takes its option's built-in input,
// if it has one: the module it gives is added like a component's.
ItemResult run_without_component(Run& run, Item& item, int original_code) {
    if (cli::default_input(original_code).input == cli::DefaultInput::kNone)
        return {};  // no built-in input: the item adds nothing
    std::optional<convert::BuiltIn> built_in =
        convert::take_default_input(run, original_code, item.type.type_id_text);
    run.component_mark = built_in.has_value();
    if (!built_in) return {.failed = true, .end_loop = false};
    item.component_name = std::move(built_in->name);
    item.component = std::move(built_in->module);
    item.built_in_module = true;
    return add_component(run, item);
}

ItemResult run_item(Run& run, Item& item, int original_code) {
    if (item.kind == ArgumentKind::Release || item.kind == ArgumentKind::Extract)
        return release_or_extract(run, item);
    if (item.option_code == cli::option::kList) {
        image::reread_ncpucode_pointer(run.image.bytes(), run.layout);
        listing::print_listing(run.image.bytes(), run.layout, run.settings.image_name, run.con);
        return {};
    }
    if (item.kind == ArgumentKind::None) return run_without_component(run, item, original_code);

    // No module holds more than the codec unpacks: a larger input (a
    // device, an endless pipe) is read no further than that.
    auto contents = run.read_file(item.argument, codec::kMaxUnpackedSize);
    if (const auto* problem = std::get_if<platform::ReadProblem>(&contents)) {
        if (*problem == platform::ReadProblem::kTooLarge)
            print(run.con, "%s is larger than %u MB, more than a module may hold; nothing is added.\n",
                  item.argument.c_str(), codec::kMaxUnpackedSize >> 20);
        else
            print(run.con, "Can't open %s file\n", item.argument.c_str());
        run.component_mark = false;
        return {.failed = true, .end_loop = true};
    }
    run.component_mark = true;
    item.component_name = item.argument;
    item.component = std::move(std::get<base::Bytes>(contents));
    return add_component(run, item);
}

// A /cpucode item that fails without a component of its own (its built-in
// input missing, as build scripts meet it) does not count as a failure; a
// release or an extract of it that fails (nothing found, a broken chain, a
// damaged module) counts like any other. `by_release_or_extract`: the item
// that set the error code was one.
bool forgiven(const Run& run, bool by_release_or_extract) {
    return run.error_code == cli::option::kCpuCode && !run.component_mark && !by_release_or_extract;
}

// The item loop: the items in command-line order, each handed to one
// operation. Returns whether the error code was set by a release or an
// extract; `stopped_at` is the word it stopped at.
bool item_loop(Run& run, const ItemWatch& watch, int& stopped_at) {
    bool by_release_or_extract = false;
    const auto& args = run.settings.args;
    const int argc = static_cast<int>(args.size());
    int index = run.settings.first_option_index;
    stopped_at = argc;
    while (index < argc) {
        const int code = cli::lookup_option(args[static_cast<std::size_t>(index)]);
        if (cli::kind_of(code).place == Place::kBootOnInternet) {
            // Shown or set; either way the loop ends here.
            if (watch.before) watch.before(run, index);
            const cli::ItemUndo undo(run);
            const bool failed = regions::boot_on_internet(run, index).failed;
            if (failed) {
                undo.undo(run);
                if (run.settings.error_mode) {
                    run.error_code = code;
                    by_release_or_extract = false;
                }
            }
            if (watch.after) watch.after(run, {index, argc, code, failed, true});
            break;
        }
        Item item = cli::read_item(run.settings, index, run.layout.extended_layout, run.con);
        if (!item.type.valid) {
            stopped_at = index;
            // An invalid item ends the loop; one refused with a message fails.
            if (item.type.refused && run.settings.error_mode) {
                run.error_code = item.option_code;
                by_release_or_extract = false;
            }
            break;
        }

        // An item that fails changes nothing: whatever it did to the image
        // (bytes, layout, flags) before it failed is undone.
        if (watch.before) watch.before(run, index);
        cli::ItemUndo undo(run);
        ItemResult result;
        if (item.type.isa_segment_bad && item.kind == ArgumentKind::ComponentFile)
            result = {.failed = true, .end_loop = false};
        else
            result = run_item(run, item, code);
        if (result.failed) {
            if (!result.keep_changes) undo.undo(run);
            if (run.settings.error_mode) {
                run.error_code = item.option_code;
                by_release_or_extract =
                    item.kind == ArgumentKind::Release || item.kind == ArgumentKind::Extract;
            }
        }
        const int next = cli::next_item_index(item);
        if (watch.after) watch.after(run, {index, next, item.option_code, result.failed, result.end_loop});
        if (result.end_loop) {
            stopped_at = std::min(next, argc);
            break;
        }

        index = next;
        if (index >= argc) break;
        if (forgiven(run, by_release_or_extract)) run.error_code = 0;
    }
    return by_release_or_extract;
}

// End of run. Whatever the items changed and kept is finished, so the
// image's checksums are right: also when an item failed afterwards (the
// error code or a cleared component mark does not undo the changes before
// it) and when the last item listed the image. A run that changed nothing (a
// listing, /CALS, an extract, items that all failed) leaves the image byte
// for byte as it was.
int end_of_run(Run& run, bool by_release_or_extract) {
    if (needs_finishing(run)) regions::finish_image(run);
    if (run.error_code == 0 || forgiven(run, by_release_or_extract)) return 0;
    print(run.con, "\n!!! Combine %s have some error.\n",
          std::string(cli::failure_name(run.error_code)).c_str());
    return run.error_code;
}

}  // namespace

ItemsRun run_items(cli::Run& run, const ItemWatch& watch) {
    ItemsRun r;
    const bool by_release_or_extract = item_loop(run, watch, r.stopped_at);
    r.finished = needs_finishing(run);
    r.status = end_of_run(run, by_release_or_extract);
    return r;
}

}  // namespace kitra::app
