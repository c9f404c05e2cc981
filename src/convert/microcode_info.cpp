#include "convert/microcode_info.h"

namespace kitra::convert {

void print_microcode_table(image::ByteView, const image::Layout&, const std::optional<image::Bytes>&,
                           platform::Console&) {}

}  // namespace kitra::convert
