#include "app/commands.h"

#include <algorithm>

#include "app/dry_run.h"
#include "app/held_image.h"
#include "base/fatal.h"
#include "folder/folder_commands.h"
#include "inspect/commands.h"
#include "microcode/microcode_commands.h"
#include "regions/finishing.h"

namespace kitra::app {

namespace {

using cli::NewCommand;
using platform::print_error;

// The lines of `kitra --help`: how the two kinds of command line look, then
// each new command with its line.
void print_help(platform::Console& con) {
    platform::write(con,
                    "kitra assembles legacy PC system-BIOS ROM images.\n"
                    "\n"
                    "  kitra IMAGE /OPTION [RomFile|release|extract] ... [/err]\n"
                    "                                  the legacy command lines\n"
                    "  kitra                           lists their options\n"
                    "  kitra IMAGE /OPTION ... /advice[:all]\n"
                    "                                  says what to release when an add does not\n"
                    "                                  fit (on a terminal it always does)\n"
                    "  kitra IMAGE --COMMAND [ARGUMENTS...]\n"
                    "                                  the commands below\n"
                    "  kitra IMAGE --COMMAND --help    explains one\n"
                    "\n");
    // The summaries in one column, past the longest word.
    int width = 16;
    for (const NewCommand& c : new_commands()) width = std::max(width, static_cast<int>(c.word.size()));
    for (const NewCommand& c : new_commands())
        platform::print(con, "  %-*s %s\n", width, std::string(c.word).c_str(),
                        std::string(c.summary).c_str());
}

// The image named on the command line, read for a command: its message on
// the error stream when it cannot be used.
std::optional<OpenedImage> read_for_command(const std::string& path, platform::Console& con) {
    auto opened = read_image(path);
    if (auto* problem = std::get_if<std::string>(&opened)) {
        std::string text = *problem;
        if (text.empty() || text.back() != '\n') text += '\n';
        print_error(con, "kitra: %s", text.c_str());
        return std::nullopt;
    }
    return std::move(std::get<OpenedImage>(opened));
}

// A command that changes the image runs like a legacy run: the image held
// from opening to commit, a Run around it, finishing and one atomic commit,
// only when the command succeeded.
int run_changing(const NewCommand& command, const std::string& path, cli::Arguments args,
                 platform::Console& con, const RunOptions& options) {
    platform::Console notices = con;  // the lock's notices go to the error stream
    notices.out = con.err;
    platform::FileLock lock;
    if (const auto status = hold_image(path, true, notices, options, lock)) return *status;
    auto opened = read_for_command(path, con);
    if (!opened) return 1;
    cli::Settings settings;
    settings.image_name = path;
    cli::Run run(std::move(settings), std::move(opened->image), opened->layout, con);
    const int status = command.changes(run, args);
    if (status != 0) return status;
    if (needs_finishing(run)) regions::finish_image(run);
    return commit_image(run, notices, options) != 0 ? 1 : 0;
}

// A command that makes the image anew from other files: an image already
// there is held from before the handler reads anything to the commit, like
// any change. The bytes the handler makes become the run's image; they are
// written only when the file does not hold them already.
int run_making(const NewCommand& command, const std::string& path, cli::Arguments args,
               platform::Console& con, const RunOptions& options) {
    platform::Console notices = con;
    notices.out = con.err;
    platform::FileLock lock;
    const bool exists = platform::file_kind(path) != platform::FileKind::kMissing;
    if (exists) {
        if (const auto status = hold_image(path, true, notices, options, lock)) return *status;
    }
    std::optional<cli::Run> run;
    const cli::ImageStart start{
        path, con, [&](base::Bytes bytes) -> cli::Run* {
            if (bytes.size() < image::kMinimumImageSize || bytes.size() > image::kMaximumImageSize) {
                print_error(
                    con,
                    "kitra: the image made for %s would be %zu bytes long; an image holds 128 KB to 256 "
                    "MB. Nothing is written.\n",
                    path.c_str(), bytes.size());
                return nullptr;
            }
            auto found = image::discover_layout(bytes, 0, false);
            if (const auto* problem = std::get_if<std::string>(&found)) {
                print_error(con, "kitra: %s", problem->c_str());
                return nullptr;
            }
            auto on_disk = image::Image::OnDisk::kMissing;
            if (exists) {
                const auto held = platform::read_file_up_to(path, image::kMaximumImageSize, true);
                const auto* old = std::get_if<base::Bytes>(&held);
                on_disk = old && *old == bytes ? image::Image::OnDisk::kSame : image::Image::OnDisk::kOther;
            }
            cli::Settings settings;
            settings.image_name = path;
            run.emplace(std::move(settings), image::Image(path, std::move(bytes), on_disk),
                        std::get<image::Layout>(found), con);
            return &*run;
        }};
    const int status = command.makes(start, args);
    if (status != 0) return status;
    if (!run) return 1;
    if (needs_finishing(*run)) regions::finish_image(*run);
    return commit_image(*run, notices, options) != 0 ? 1 : 0;
}

int dispatch(const NewCommand& command, const std::string& path, std::vector<std::string> args,
             platform::Console& con, const RunOptions& options) {
    if (command.changes) return run_changing(command, path, args, con, options);
    if (command.makes) return run_making(command, path, args, con, options);
    auto image = read_for_command(path, con);
    if (!image) return command.trouble_status;
    const cli::ImageView view{path, image->image.bytes(), image->layout};
    if (command.reads) return command.reads(view, args, con);
    if (args.empty() || args[0].starts_with("--"))
        return cli::wrong_command_line(con, command, "it compares with a second image, named after it");
    auto other = read_for_command(args[0], con);
    if (!other) return command.trouble_status;
    return command.reads_two(view, cli::ImageView{args[0], other->image.bytes(), other->layout}, args, con);
}

}  // namespace

std::span<const NewCommand> new_commands() {
    // Each layer's commands, in the order of the help.
    static const std::vector<NewCommand> all = [] {
        std::vector<NewCommand> out;
        out.insert(out.end(), inspect::commands().begin(), inspect::commands().end());
        out.insert(out.end(), dry_run_commands().begin(), dry_run_commands().end());
        out.insert(out.end(), microcode::commands().begin(), microcode::commands().end());
        out.insert(out.end(), folder::commands().begin(), folder::commands().end());
        return out;
    }();
    return all;
}

bool is_new_command_line(const std::vector<std::string>& args) {
    return (args.size() == 2 && args[1] == "--help") || (args.size() >= 3 && args[2].starts_with("--"));
}

int run_new_command(const std::vector<std::string>& args, platform::Console& con, const RunOptions& options) {
    if (args.size() == 2) {
        print_help(con);
        return 0;
    }
    const std::string& word = args[2];
    const auto commands = new_commands();
    const auto command =
        std::find_if(commands.begin(), commands.end(), [&](const NewCommand& c) { return c.word == word; });
    if (command == commands.end()) {
        print_error(con, "kitra: %s is no command; kitra --help lists them.\n", word.c_str());
        return 2;
    }
    std::vector<std::string> rest(args.begin() + 3, args.end());
    if (std::find(rest.begin(), rest.end(), "--help") != rest.end()) {
        platform::write(con, std::string(command->help));
        return 0;
    }
    // The dry run stops the way a legacy run stops: it says so itself.
    if (command->runs_line) return command->runs_line(args, con);
    try {
        return dispatch(*command, args[1], std::move(rest), con, options);
    } catch (const Fatal& stop) {
        print_error(con, "%s", stop.what());
        return command->changes || command->makes ? stop.status : command->trouble_status;
    }
}

}  // namespace kitra::app
