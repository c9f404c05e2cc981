// Adding and removing single CPU microcode updates: the updates of the CPU
// microcode module or of the non-compressed area are taken apart, changed
// one at a time, and the place is written again whole through the same
// paths as the legacy items (/cpucode's add with its walk, space check and
// placement; /NC_CPUCODE's placement), so that finishing and the atomic
// commit follow as for any run.
//
// Before anything is written each command prints what it will do to each
// place (added, replaced, skipped, removed) and the place's new size against
// the room it has; a place that would not fit, an update that is refused, or
// a place that holds anything besides whole updates (a table of pointers,
// padding the firmware may read) ends the command with status 1 and the
// image unchanged.
#pragma once

#include <vector>

#include "cli/run_state.h"
#include "microcode/selectors.h"
#include "microcode/update_inputs.h"

namespace kitra::microcode {

struct AddOptions {
    bool uncompressed = false;  // into the non-compressed area, not the module
    bool downgrade = false;     // an older revision replaces a newer one
    bool force = false;         // sizes the place's legacy reader would not step over
};

// An update replaces the one for the same CPUID and platform-ID mask when
// its revision is newer (or older, with `downgrade`); one that is not is
// skipped. Any other is added in CPUID order. Returns the exit status.
int add_updates(cli::Run& run, const std::vector<InputUpdate>& inputs, const AddOptions& options);

// Removes every update of the module and the non-compressed area that a
// selector names; each selector must name one. Returns the exit status.
int remove_updates(cli::Run& run, const std::vector<Selector>& selectors);

}  // namespace kitra::microcode
