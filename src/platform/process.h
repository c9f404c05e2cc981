// The process's command line and environment, as the user gave them, in
// UTF-8. On Windows they are read in UTF-16 (the runtime's char arguments
// would pass through the ANSI code page and lose every character outside
// it), so a file name typed in any script opens the file it names.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kitra::platform {

// The arguments main() was given, the program as typed first.
std::vector<std::string> arguments(int argc, char** argv);

// The value of an environment variable, or std::nullopt when it is not set.
std::optional<std::string> environment_variable(const char* name);

}  // namespace kitra::platform
