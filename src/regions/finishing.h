// Finishing the image after a run whose items all succeeded: released special
// areas erased, the microcode pointer brought up to date, the checksum bytes
// and the balance words recomputed so that the firmware accepts the image.
#pragma once

#include "cli/run_state.h"

namespace kitra::regions {

void finish_image(cli::Run& run);

}  // namespace kitra::regions
