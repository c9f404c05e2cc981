// The forms the /D listing is printed in, shared by every section of it: the
// column heads and rule, the size field "%01X%04Xh(%.2fK)", the size and name
// columns of a row, and a module header read the way the listing reads it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "codec/module_header.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::image {

constexpr int kSizeColumn = 40;  // the in-image size
constexpr int kNameColumn = 56;  // the stored name

extern const char kColumnHeads[];
extern const char kRule[];  // 80 "=": on the console it ends its row by itself

// "%01X%04Xh(%.2fK)": the high and low 16 bits in hexadecimal, then
// kilobytes in single precision, the form every size of the listing takes.
std::string size_field(std::uint32_t value);

// "  <original>", the in-image size at the size column, then the move to the
// name column.
void print_sizes(platform::Console& con, std::uint32_t original, std::uint32_t in_image);

// " %2d. <name>", the sizes and the stored name.
void print_row(platform::Console& con, std::uint8_t number, const std::string& name, std::uint32_t original,
               std::uint32_t in_image, const std::string& stored_name);

// A stored name printed with "%s": it ends at its first zero byte.
std::string c_string(std::string_view text);

// The fields of a header as the listing reads them: straight from the image,
// with bytes past its end read as 0.
struct RawHeader {
    std::uint32_t header_size = 0;
    std::uint32_t packed_size = 0;
    std::uint32_t original_size = 0;
    std::uint16_t type_suffix = 0;
    std::uint16_t type_id = 0;
    std::string name;
    std::uint32_t step() const { return header_size + packed_size + 3; }
};
RawHeader raw_header(base::ByteView image, std::uint64_t offset);

// The modules the listing shows after the system BIOS, in chain order: from
// the walk start, each H + packed size + 3 bytes after the last, until a
// position holds no module or is not below 64 bytes short of the end mark
// (the top hole's start when there is one, else the compressed area's end).
std::vector<codec::ModuleInfo> listed_modules(base::ByteView image, const Layout& layout);

}  // namespace kitra::image
