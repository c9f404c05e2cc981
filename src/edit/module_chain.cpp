#include "edit/module_chain.h"

#include "edit/placement.h"
#include "regions/position_dependent.h"

namespace kitra::edit {

bool remove_module(cli::Run& run, std::uint64_t pos, std::uint64_t length, std::uint64_t limit) {
    if (const auto refused = regions::compact(run.image.bytes, pos, length, limit, run.report())) {
        cli::report_refusal(run, *refused);
        return false;
    }
    run.flags.modules_moved = true;
    return true;
}

}  // namespace kitra::edit
