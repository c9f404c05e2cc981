#include "regions/bootblock_references.h"

#include <algorithm>

#include "image/markers.h"

namespace kitra::regions {

std::optional<std::uint64_t> find_record(base::ByteView image, std::uint64_t start, std::uint64_t count,
                                         std::string_view marker, std::uint64_t record_size) {
    if (record_size > image.size() || start > image.size() - record_size) return std::nullopt;
    const std::uint64_t fitting = image.size() - record_size - start + 1;
    return image::find_marker(image, start, std::min(count, fitting), marker);
}

}  // namespace kitra::regions
