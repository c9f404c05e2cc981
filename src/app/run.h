// One run of the tool: start-up, the image, the item loop, the end of run.
// The image is read whole when it is opened and written back (atomically)
// only at the end of a run that changed it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/console.h"

namespace kitra::app {

// Returns the exit status. A Fatal stop propagates to the caller, which
// prints it; the image is then left as it was.
int run_tool(std::vector<std::string> args, const std::optional<std::string>& last_env,
             platform::Console& con);

}  // namespace kitra::app
