// Marker searches over the image. Each search keeps its own start, step and
// limit: which occurrence counts depends on them, so they are not unified.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "base/bytes.h"

namespace kitra::image {

// First offset p in [start, start + count) at steps of `step` where `marker`
// matches exactly; positions whose marker would reach past the image are
// not matches.
std::optional<std::uint64_t> find_marker(base::ByteView image, std::uint64_t start, std::uint64_t count,
                                         std::string_view marker, std::uint64_t step = 1);

// The bootblock's line search: 16-byte lines from `start`, at relative
// offsets 0, 16, ... up to and including 0x1E000, the marker compared at the
// start of each line. Returns the relative offset just past the matching
// line, or 0x1E000 when no line matches.
constexpr std::uint32_t kLineSearchMiss = 0x1E000;
std::uint32_t line_search(base::ByteView image, std::uint64_t start, std::string_view marker);

// The probe mode of the line search: true when the 16 bytes after the last
// line read (the matching line, or the line at 0x1E000) begin 55 AA 00 00.
bool line_search_probe(base::ByteView image, std::uint64_t start, std::string_view marker);

// The "*BS1" records the bootblock's references count: only those at
// 4-byte steps from image length - 0x16000, within 0x6000 bytes. Returns
// their file offsets in order.
std::vector<std::uint64_t> find_bs1_records(base::ByteView image);

}  // namespace kitra::image
