// Whether a run may change its image, read from its words before the image
// is opened: a run that may change it holds the image from opening to commit
// (one such run at a time per image), while a run that only lists, reports
// sizes or extracts keeps no one waiting.
#pragma once

#include "cli/command_line.h"

namespace kitra::cli {

// False only when every item the item loop can reach lists, reports or
// extracts. Items after a word that ends the loop are not reached. Where the
// image decides (a /btvga item is valid only on the extended layout), the
// answer is the one that holds the image.
bool may_change_image(const Settings& settings);

}  // namespace kitra::cli
