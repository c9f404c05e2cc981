#include "cli/new_command.h"

#include <algorithm>

namespace kitra::cli {

bool take_switch(std::vector<std::string>& args, std::string_view name) {
    const auto it = std::remove(args.begin(), args.end(), name);
    const bool found = it != args.end();
    args.erase(it, args.end());
    return found;
}

int wrong_command_line(platform::Console& con, const NewCommand& command, std::string_view reason) {
    const std::string_view usage = command.help.substr(0, command.help.find('\n'));
    platform::print_error(con, "kitra %s: %s\n%s\n", std::string(command.word).c_str(),
                          std::string(reason).c_str(), std::string(usage).c_str());
    return 2;
}

}  // namespace kitra::cli
