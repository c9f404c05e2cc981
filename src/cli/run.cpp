#include "cli/run.h"

#include "cli/command_line.h"

namespace kitra::cli {

int run_tool(std::vector<std::string> args, const std::optional<std::string>& last_env, platform::Console& con) {
    StartUp start = start_up(std::move(args), last_env, con);
    if (!start.settings) return start.exit_status;
    return 0;
}

}  // namespace kitra::cli
