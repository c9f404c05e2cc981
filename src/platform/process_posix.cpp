#include <cstdlib>

#include "platform/process.h"

namespace kitra::platform {

std::vector<std::string> arguments(int argc, char** argv) {
    return {argv, argv + argc};
}

std::optional<std::string> environment_variable(const char* name) {
    if (const char* value = std::getenv(name)) return value;
    return std::nullopt;
}

}  // namespace kitra::platform
