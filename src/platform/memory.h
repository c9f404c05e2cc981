// Buffers of megabytes (an image, a module, what a module unpacks to) are
// written once from end to end right after they are made, and most of the
// time that takes is the system handing out their pages one fault at a time.
// Where the system gives large pages to memory that asks for them, a large
// buffer asks before its pages are first touched: a 16 MiB image then costs
// a few faults instead of four thousand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kitra::platform {

// Sizes an empty buffer to n zero bytes, in large pages where the system
// allows them for a buffer this size.
void resize_large(std::vector<std::uint8_t>& bytes, std::size_t n);

}  // namespace kitra::platform
