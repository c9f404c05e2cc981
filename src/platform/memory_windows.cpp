#include "platform/memory.h"

namespace kitra::platform {

// Large pages need a privilege on Windows that a tool run by hand does not
// have: ordinary pages.
void resize_large(std::vector<std::uint8_t>& bytes, std::size_t n) {
    bytes.resize(n);
}

}  // namespace kitra::platform
