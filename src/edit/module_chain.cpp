#include "edit/module_chain.h"

#include <algorithm>

#include "edit/placement.h"
#include "platform/console.h"
#include "regions/position_dependent.h"

namespace kitra::edit {

bool remove_module(cli::Run& run, std::uint64_t pos, std::uint64_t length, std::uint64_t limit) {
    limit = std::min<std::uint64_t>(limit, run.image.length());
    // A crafted chain can run on into a special area. A module there lies
    // outside what a removal closes up: removing nothing would leave the walk
    // that asked for it at the same module for ever.
    if (pos >= limit) {
        platform::print(
            run.con,
            "The module at %08llXh lies at or beyond the end of the module area (%08llXh); it is not "
            "removed, and the image is left unmodified for it.\n",
            static_cast<unsigned long long>(pos), static_cast<unsigned long long>(limit));
        return false;
    }
    if (const auto refused = regions::compact(run.image, pos, length, limit, run.report())) {
        cli::report_refusal(run, *refused);
        return false;
    }
    run.flags.modules_moved = true;
    return true;
}

}  // namespace kitra::edit
