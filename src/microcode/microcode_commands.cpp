#include "microcode/microcode_commands.h"

#include <string>
#include <vector>

#include "base/text.h"
#include "cli/run_state.h"
#include "convert/microcode_places.h"
#include "microcode/microcode_changes.h"
#include "microcode/microcode_listing.h"
#include "microcode/selectors.h"
#include "microcode/update_inputs.h"
#include "platform/files.h"

namespace kitra::microcode {

namespace {

int list(const cli::ImageView& image, cli::Arguments args, platform::Console& con);
int add(cli::Run& run, cli::Arguments args);
int remove(cli::Run& run, cli::Arguments args);

const cli::NewCommand kCommands[] = {
    {"--microcode", "lists the CPU microcode updates and where they are",
     "kitra IMAGE --microcode [--json]\n"
     "Lists every CPU microcode update of IMAGE in its three places: the bootblock's\n"
     "microcode area, the CPU microcode module (unpacked) and the uncompressed\n"
     "microcode area at the top of the compressed area. An update is found wherever\n"
     "it starts, not only where the /D table reads; bytes of a place that are not\n"
     "updates are shown. Each update has its index, place and offset, vendor, CPUID\n"
     "with family, model and stepping, the platform IDs it is for, revision, date,\n"
     "size and whether its checksum holds; notes tell a duplicate, one superseded by\n"
     "a newer revision for the same processor, and one the /D table does not read\n"
     "whole. An AMD patch shows its processor revision ID as its CPUID and its patch\n"
     "ID as its revision.\n"
     "\n"
     "  --json   the same as one JSON document (schema/microcode.schema.json)\n",
     list, nullptr, nullptr},
    {"--microcode-add", "adds CPU microcode updates, or replaces older revisions",
     "kitra IMAGE --microcode-add FILE... [--uncompressed] [--downgrade] [--force]\n"
     "Adds the CPU microcode updates of each FILE: one binary update, updates joined\n"
     "one after another, the .dat text form, or a CPU microcode module. Every update\n"
     "is checked whole (header version, sizes, every checksum) before anything is\n"
     "written. An update replaces the one for the same CPUID and platform-ID mask\n"
     "when its revision is newer; one that is not is skipped with a note. Any other\n"
     "is added in CPUID order. The CPU microcode module is packed again and put in\n"
     "as /cpucode puts it (made as CPUCODE.BIN when the image has none). kitra says\n"
     "what it will do and the new size against the free space before it writes;\n"
     "what does not fit is not written. A place that holds anything besides whole\n"
     "updates (a table of pointers, padding) is not rewritten.\n"
     "\n"
     "  --uncompressed  into the uncompressed microcode area, not the module\n"
     "  --downgrade     an older revision replaces a newer one\n"
     "  --force         also updates that the place's /D reader does not step over\n"
     "                  whole (it reads the module in 2048-byte records)\n",
     nullptr, nullptr, add},
    {"--microcode-remove", "removes CPU microcode updates to make room",
     "kitra IMAGE --microcode-remove SELECTOR...\n"
     "Removes the updates each SELECTOR names from the CPU microcode module and the\n"
     "uncompressed microcode area, and writes them again as --microcode-add does.\n"
     "A selector that names no update fails, and nothing is written.\n"
     "\n"
     "  686               every update for CPUID 00000686 (0x686 alike)\n"
     "  686,pf=10         ... whose platform-ID mask is 10h\n"
     "  686,rev=0C        ... whose revision is 0Ch (an AMD patch: its patch ID)\n"
     "  index=7           update 7 of --microcode\n",
     nullptr, nullptr, remove},
};

// The codec's text goes to the error stream: standard output holds the
// listing alone (one JSON document with --json).
codec::Report error_stream_report(platform::Console& con) {
    const auto to_err = [&con](std::string_view text) {
        platform::print_error(con, "%.*s", static_cast<int>(text.size()), text.data());
    };
    return {to_err, to_err};
}

int list(const cli::ImageView& image, cli::Arguments args, platform::Console& con) {
    std::vector<std::string> rest(args.begin(), args.end());
    const bool json = cli::take_switch(rest, "--json");
    if (!rest.empty())
        return cli::wrong_command_line(con, kCommands[0],
                                       "\"" + base::printable(rest[0]) + "\" is no argument of it");
    const convert::ImageMicrocode found =
        convert::image_microcode(image.bytes, image.layout, error_stream_report(con));
    platform::write(con, json ? listing_json(found, image.path) : listing_text(found, image.path));
    return 0;
}

std::optional<int> stray_switch(platform::Console& con, const cli::NewCommand& command,
                                const std::vector<std::string>& rest) {
    for (const std::string& word : rest)
        if (word.starts_with("--"))
            return cli::wrong_command_line(con, command, base::printable(word) + " is no switch of it");
    return std::nullopt;
}

int add(cli::Run& run, cli::Arguments args) {
    std::vector<std::string> files(args.begin(), args.end());
    AddOptions options;
    options.uncompressed = cli::take_switch(files, "--uncompressed");
    options.downgrade = cli::take_switch(files, "--downgrade");
    options.force = cli::take_switch(files, "--force");
    if (const auto status = stray_switch(run.con, kCommands[1], files)) return *status;
    if (files.empty()) return cli::wrong_command_line(run.con, kCommands[1], "it needs a file of updates");
    std::vector<InputUpdate> inputs;
    bool refused = false;
    for (const std::string& file : files) {
        const auto contents = platform::read_file(file);
        if (!contents) {
            platform::print_error(run.con, "Can't open %s file\n", base::printable(file).c_str());
            refused = true;
            continue;
        }
        auto read = read_input_updates(file, *contents, run.report());
        if (const auto* problem = std::get_if<std::string>(&read)) {
            platform::print_error(run.con, "%s", problem->c_str());
            refused = true;
            continue;
        }
        for (InputUpdate& in : std::get<std::vector<InputUpdate>>(read)) inputs.push_back(std::move(in));
    }
    if (refused) {
        platform::print_error(run.con, "Nothing is added. The image is left unmodified.\n");
        return 1;
    }
    return add_updates(run, inputs, options);
}

int remove(cli::Run& run, cli::Arguments args) {
    const std::vector<std::string> words(args.begin(), args.end());
    if (const auto status = stray_switch(run.con, kCommands[2], words)) return *status;
    if (words.empty()) return cli::wrong_command_line(run.con, kCommands[2], "it needs a selector");
    std::vector<Selector> selectors;
    for (const std::string& word : words) {
        auto parsed = parse_selector(word);
        if (const auto* problem = std::get_if<std::string>(&parsed))
            return cli::wrong_command_line(run.con, kCommands[2], *problem);
        selectors.push_back(std::move(std::get<Selector>(parsed)));
    }
    return remove_updates(run, selectors);
}

}  // namespace

std::span<const cli::NewCommand> commands() {
    return kCommands;
}

}  // namespace kitra::microcode
