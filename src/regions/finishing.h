// Finishing the image after a run that changed it (also when a later item
// failed, since the changes before it stay): released special areas erased,
// the microcode pointer brought up to date, the checksum bytes and the
// balance words recomputed so that the firmware accepts the image.
#pragma once

#include "cli/run_state.h"

namespace kitra::regions {

// Works on run.image with the layout found when the image was opened
// and the flags the items left. A structure that the layout places outside
// the image stops the run with a Fatal (the image file is then left as it
// was) rather than leaving an image whose checksums are wrong.
void finish_image(cli::Run& run);

}  // namespace kitra::regions
