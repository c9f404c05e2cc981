#include "convert/microcode_info.h"

namespace kitra::convert {

void print_microcode_table(base::ByteView, const image::Layout&, platform::Console&) {}

}  // namespace kitra::convert
