#include "regions/hole_areas.h"

namespace kitra::regions {

void print_hole_lines(base::ByteView, const image::Layout&, platform::Console&) {}

}  // namespace kitra::regions
