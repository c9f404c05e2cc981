#include "image/markers.h"

#include <algorithm>
#include <cstring>

#include "image/records.h"

namespace kitra::image {

using base::ByteView;
using base::matches;

std::optional<std::uint64_t> find_marker(ByteView image, std::uint64_t start, std::uint64_t count,
                                         std::string_view marker, std::uint64_t step) {
    if (marker.empty() || image.size() < marker.size() || start > image.size() - marker.size())
        return std::nullopt;
    const std::uint64_t last_fit = image.size() - marker.size();
    const std::uint64_t end = std::min(start + count, last_fit + 1);
    if (step == 1) {
        // memchr on the first byte keeps the long searches cheap.
        const auto* base = image.data();
        std::uint64_t p = start;
        while (p < end) {
            const void* hit = std::memchr(base + p, marker[0], end - p);
            if (hit == nullptr) return std::nullopt;
            p = static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - base);
            if (std::memcmp(base + p, marker.data(), marker.size()) == 0) return p;
            ++p;
        }
        return std::nullopt;
    }
    for (std::uint64_t p = start; p < end; p += step)
        if (matches(image, p, marker)) return p;
    return std::nullopt;
}

namespace {

std::optional<std::uint32_t> line_hit(ByteView image, std::uint64_t start, std::string_view marker) {
    for (std::uint32_t rel = 0; rel <= kLineSearchMiss; rel += 16)
        if (matches(image, start + rel, marker)) return rel;
    return std::nullopt;
}

}  // namespace

std::uint32_t line_search(ByteView image, std::uint64_t start, std::string_view marker) {
    const auto hit = line_hit(image, start, marker);
    return hit ? *hit + 16 : kLineSearchMiss;
}

bool line_search_probe(ByteView image, std::uint64_t start, std::string_view marker) {
    const auto hit = line_hit(image, start, marker);
    const std::uint64_t last_line = hit ? *hit : kLineSearchMiss;
    static constexpr char kRomStart[] = {'\x55', '\xAA', '\0', '\0'};
    return matches(image, start + last_line + 16, std::string_view(kRomStart, 4));
}

std::vector<std::uint64_t> find_bs1_records(ByteView image) {
    std::vector<std::uint64_t> found;
    if (image.size() < kRecordSearchFromEnd) return found;
    const std::uint64_t start = image.size() - kRecordSearchFromEnd;
    for (std::uint64_t p = start; p < start + bs1::kAlignedSearchBytes; p += bs1::kAlignedSearchStep)
        if (matches(image, p, bs1::kMarker)) found.push_back(p);
    return found;
}

}  // namespace kitra::image
