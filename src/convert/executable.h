// DOS "MZ" executables. Several kinds of component arrive as executables
// whose load image is what the firmware needs; the header in front of it is
// dropped.
//
//   0  "MZ"
//   8  header length in 16-byte paragraphs (16 bits): the load image starts
//      at paragraphs x 16 and runs to the end of the file
#pragma once

#include <cstdint>

#include "base/bytes.h"

namespace kitra::convert {

namespace mz {
constexpr std::uint64_t kHeaderParagraphs = 8;
constexpr std::uint64_t kParagraph = 16;
constexpr std::uint64_t kMinimumSize = 10;  // up to and including the header-length word
}  // namespace mz

// Begins "MZ" and holds the header-length word.
bool is_executable(base::ByteView file);

// The load image of an executable: the bytes after its header; empty when
// the header claims the whole file or more.
base::ByteView executable_body(base::ByteView exe);

}  // namespace kitra::convert
