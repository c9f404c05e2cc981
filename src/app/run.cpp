#include "app/run.h"

#include "app/commands.h"
#include "app/held_image.h"
#include "app/item_loop.h"
#include "cli/catalogue.h"
#include "cli/command_line.h"
#include "cli/run_state.h"
#include "cli/write_intent.h"

namespace kitra::app {

namespace {

using cli::Place;
using platform::print;

int unusable(const cli::Settings& settings, platform::Console& con, const std::string& text) {
    platform::write(con, text);
    return settings.error_mode ? 1 : 0;
}

}  // namespace

int run_tool(std::vector<std::string> args, const std::optional<std::string>& last_env,
             platform::Console& con, const RunOptions& options) {
    if (is_new_command_line(args)) return run_new_command(args, con, options);
    cli::StartUp start = cli::start_up(std::move(args), last_env, con);
    if (!start.settings) return start.exit_status;
    cli::Settings& settings = *start.settings;

    // A run that only lists, reports or extracts holds nothing: the commit
    // replaces the image in one step, so it always reads a whole image.
    platform::FileLock lock;
    if (cli::may_change_image(settings)) {
        if (const auto status = hold_image(settings.image_name, settings.error_mode, con, options, lock))
            return *status;
    }

    auto opened = read_image(settings.image_name, settings.top_hole_address,
                             cli::kind_of(settings.first_option_code).place == Place::kTopHole);
    if (auto* problem = std::get_if<std::string>(&opened)) return unusable(settings, con, *problem);
    OpenedImage& img = std::get<OpenedImage>(opened);

    cli::Run run(std::move(settings), std::move(img.image), img.layout, con);
    const int status = run_items(run).status;

    if (run.image.changed() && !lock.held()) {
        print(con,
              "Internal error: a run that was to leave %s as it was changed it. The image is left "
              "unmodified.\n",
              run.image.path().c_str());
        return 1;
    }
    if (commit_image(run, con, options) != 0) return 1;
    return status;
}

}  // namespace kitra::app
