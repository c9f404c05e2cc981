#include "regions/finishing.h"

namespace kitra::regions {

void finish_image(cli::Run&) {}

}  // namespace kitra::regions
