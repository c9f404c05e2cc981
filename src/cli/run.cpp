#include "cli/run.h"


#include "cli/catalogue.h"
#include "cli/command_line.h"
#include "cli/item.h"
#include "cli/options.h"
#include "cli/run_state.h"
#include "edit/add_module.h"
#include "edit/release_extract.h"
#include "image/fatal.h"
#include "image/listing.h"
#include "platform/files.h"
#include "regions/finishing.h"

namespace kitra::cli {

namespace {

using platform::print;

// Kinds whose place is the bootblock or a hole, and the PE32 and memory-init
// modules, which run in place and would need rebasing to their address:
// their operations are not part of this version. They report so and change
// nothing (adding such a module unrebased would give an image that boots
// into the wrong code).
bool kept_outside_the_chain(int code) {
    using namespace option;
    return code == kBtMem || is_pe32_boot(code) || (code >= kHole0 && code <= kHole7);
}
bool not_available(int code) {
    using namespace option;
    return kept_outside_the_chain(code) || code == kBtVga || code == kNvmm || code == kNvpmu || code == kMinit ||
           code == kHtInit || is_pe32_main(code);
}

ItemResult report_not_available(Run& run, const Item& item) {
    print(run.con, "%s is not supported by this version of kitra; the image is left unmodified for it.\n",
          run.settings.args[static_cast<std::size_t>(item.index)].c_str());
    return {.failed = true, .end_loop = false};
}

// The built-in inputs of items given without a component file: until they
// can be prepared, an item without a file reports its input as missing and
// adds nothing.
struct BuiltIn {
    int code;
    const char* name;
    bool executable;  // prepared from an executable, whose open error is reported on its own
};
constexpr BuiltIn kBuiltIns[] = {
    {option::kNcr, "i:\\eprom\\ncr307.rom", false},
    {option::kAha, "i:\\eprom\\aha7850.rom", false},
    {option::kLogo, "i:\\eprom\\D4LOGO.BMP", false},
    {option::kCpuCode, "CPUCODE.EXE", true},
    {option::kEpa, "MORVAEPA.EXE", true},
    {option::kAcpi, "ACPITBL.BIN", false},
    {option::kAcpiTable, "ACPITBL.EXE", true},
    {option::kVsa, "i:\\eprom\\vsa66.bin", false},
    {option::kHpm, "SMI.BIN", false},
    {option::kHpc, "HPM.EXE", true},
};

ItemResult run_without_component(Run& run, int original_code) {
    for (const BuiltIn& b : kBuiltIns) {
        if (b.code != original_code) continue;
        run.component_mark = false;
        if (b.executable)
            print(run.con, "%s file open error !!!\n\n", b.name);
        else
            print(run.con, "Not found %s file !!!\n", b.name);
        return {.failed = true, .end_loop = false};
    }
    return {};  // no built-in input: the item adds nothing
}

ItemResult run_item(Run& run, Item& item, int original_code) {
    using namespace option;
    if (item.kind == ArgumentKind::Release || item.kind == ArgumentKind::Extract) {
        image::reread_ncpucode_pointer(run.image.bytes, run.layout);
        if (kept_outside_the_chain(item.option_code)) return report_not_available(run, item);
        return edit::release_or_extract(run, item);
    }
    if (item.option_code == kList) {
        image::reread_ncpucode_pointer(run.image.bytes, run.layout);
        image::print_listing(run.image.bytes, run.layout, run.settings.image_name, run.con);
        return {};
    }
    if (item.kind == ArgumentKind::None) return run_without_component(run, original_code);

    auto contents = platform::read_file(item.argument);
    if (!contents) {
        print(run.con, "Can't open %s file\n", item.argument.c_str());
        run.component_mark = false;
        return {.failed = true, .end_loop = true};
    }
    run.component_mark = true;
    item.component_name = item.argument;
    item.component = std::move(*contents);
    if (not_available(item.option_code)) return report_not_available(run, item);
    return edit::add_module(run, item);
}

// The item loop: the items in command-line order, each handed to one
// operation. Returns the option code of the last item processed.
int item_loop(Run& run) {
    const auto& args = run.settings.args;
    const int argc = static_cast<int>(args.size());
    int index = run.settings.first_option_index;
    int last_code = 0;
    image::Bytes before;
    while (index < argc) {
        const int code = lookup_option(args[static_cast<std::size_t>(index)]);
        if (code == option::kBoi) {
            print(run.con, "/BOI is not supported by this version of kitra; the image is left unmodified.\n");
            break;
        }
        const TypeContext context{args, index, run.settings.group_number, run.layout.extended_layout};
        Item item;
        item.index = index;
        item.type = select_type(code, context, run.con);
        if (!item.type.valid) break;
        item.option_code = item.type.option_code;
        last_code = item.option_code;

        const int argument_index = index + 1 + item.type.type_words;
        const auto word = [&](int i) -> const std::string& { return args[static_cast<std::size_t>(i)]; };
        // "/err" is a switch of the whole run, never an item's file name.
        if (argument_index < argc && lookup_option(word(argument_index)) == 0 &&
            !equal_ignoring_case(word(argument_index), "/err")) {
            item.argument = word(argument_index);
            if (equal_ignoring_case(item.argument, "release")) {
                item.kind = ArgumentKind::Release;
            } else if (equal_ignoring_case(item.argument, "extract")) {
                item.kind = ArgumentKind::Extract;
                if (argument_index + 1 < argc) item.extract_name = word(argument_index + 1);
            } else {
                item.kind = ArgumentKind::ComponentFile;
            }
        }

        // An item that fails changes nothing: whatever it did to the image
        // before it failed is undone. Until an item changes the image, the
        // image as read is that state; after, one buffer is kept for it.
        const bool unchanged = !run.image.changed();
        if (!unchanged) before = run.image.bytes;
        const FinishFlags flags_before = run.flags;
        ItemResult result;
        if (item.type.isa_segment_bad && item.kind == ArgumentKind::ComponentFile)
            result = {.failed = true, .end_loop = false};
        else
            result = run_item(run, item, code);
        if (result.failed) {
            run.image.bytes = unchanged ? run.image.original : before;
            const bool not_done = run.flags.ncpucode_not_done;
            run.flags = flags_before;
            run.flags.ncpucode_not_done = not_done;
            if (run.settings.error_mode) run.error_code = item.option_code;
        }
        if (result.end_loop) break;

        index += item.kind != ArgumentKind::None ? 2 : 1;
        index += item.type.type_words;
        if (item.option_code == option::kIsa && item.kind == ArgumentKind::ComponentFile &&
            item.type.isa_segment != 0)
            ++index;
        if (index >= argc) break;
        if (run.error_code == option::kCpuCode && !run.component_mark) run.error_code = 0;
    }
    return last_code;
}

int unusable(const StartUp&, const Settings& settings, platform::Console& con, const std::string& text) {
    platform::write(con, text);
    return settings.error_mode ? 1 : 0;
}

}  // namespace

int run_tool(std::vector<std::string> args, const std::optional<std::string>& last_env,
             platform::Console& con) {
    StartUp start = start_up(std::move(args), last_env, con);
    if (!start.settings) return start.exit_status;
    Settings& settings = *start.settings;

    auto opened = image::open_image(settings.image_name);
    if (auto* failure = std::get_if<image::OpenFailure>(&opened))
        return unusable(start, settings, con, image::open_failure_text(settings.image_name, *failure));
    image::Image img = std::get<image::Image>(std::move(opened));
    auto found = image::discover_layout(img.bytes, settings.top_hole_address,
                                        settings.first_option_code == option::kTopHole);
    if (auto* problem = std::get_if<std::string>(&found)) return unusable(start, settings, con, *problem);

    Run run(std::move(settings), std::move(img), std::get<image::Layout>(found), con);
    const int last_code = item_loop(run);

    int status = 0;
    if (run.error_code == 0) {
        // A run that changed nothing (a listing, /CALS, an extract, items that
        // all failed) leaves the image byte for byte as it was.
        const FinishFlags& f = run.flags;
        const bool touched = run.image.changed() || f.top_hole_released || f.ncpucode_released ||
                             f.ncpucode_placed || f.modules_moved;
        if (last_code != option::kList && touched) regions::finish_image(run);
    } else if (run.error_code == option::kCpuCode && !run.component_mark) {
        status = 0;
    } else {
        print(con, "\n!!! Combine %s have some error.\n", std::string(failure_name(run.error_code)).c_str());
        status = run.error_code;
    }

    const std::string reason = image::commit(run.image);
    if (!reason.empty()) {
        print(con, "Can't write %s (%s). The image is left unmodified.\n", run.image.path.c_str(),
              reason.c_str());
        return 1;
    }
    return status;
}

}  // namespace kitra::cli
