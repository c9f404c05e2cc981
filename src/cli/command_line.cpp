#include "cli/command_line.h"

namespace kitra::cli {

StartUp start_up(std::vector<std::string> args, const std::optional<std::string>&, platform::Console& con) {
    platform::print(con, "%s %s\n", args[0].c_str(), "V1.99 [02/12/2010]");
    return {};
}

void print_usage(const std::string&, platform::Console&) {}

}  // namespace kitra::cli
