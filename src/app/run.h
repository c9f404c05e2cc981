// One run of the tool: start-up, the image, the item loop, the end of run.
// The image is read whole when it is opened and written back (atomically)
// only at the end of a run that changed it; a run that may change it holds
// it from opening to commit, so runs on one image take turns.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/files.h"

namespace kitra::app {

struct RunOptions {
    // How long a run that will change the image waits for another run that
    // holds it: a console line after the first, a refusal after the second.
    std::chrono::milliseconds lock_notice_after{1000};
    std::chrono::milliseconds lock_give_up_after{60000};
    // Tests only: faults injected into the commit.
    platform::ReplaceOptions commit;
};

// Returns the exit status. A Fatal stop propagates to the caller, which
// prints it; the image is then left as it was.
int run_tool(std::vector<std::string> args, const std::optional<std::string>& last_env,
             platform::Console& con, const RunOptions& options = {});

}  // namespace kitra::app
