#include "regions/bootblock_checksum.h"

#include "image/markers.h"
#include "image/records.h"

namespace kitra::regions {

namespace {

using image::kBaseWindowSize;
constexpr std::string_view kMarker = image::bbss::kMarker;
constexpr std::uint64_t kSearchFromEnd = image::kRecordSearchFromEnd;
constexpr std::uint32_t kWindowSize = image::kWindow64K;
constexpr std::uint16_t kRegionOffsetMask = 0xFFF0;  // W's low nibble is not part of the offset
constexpr std::uint32_t kLengthWord = 10;            // the region's own length field

}  // namespace

std::uint64_t bootblock_search_start(base::ByteView image) {
    return image.size() >= kSearchFromEnd ? image.size() - kSearchFromEnd : 0;
}

std::variant<BootblockChecksum, BootblockChecksumProblem> locate_bootblock_checksum(base::ByteView image,
                                                                                    std::uint64_t start) {
    const auto marker = image::find_marker(image, start, kBootblockSearchPositions, kMarker);
    if (!marker) return BootblockChecksumProblem::MarkerMissing;
    const auto word = base::try_read_u16(image, *marker + image::bbss::kRegionWord);
    if (!word || image.size() < kBaseWindowSize) return BootblockChecksumProblem::Unusable;

    const std::uint32_t window_offset = *word & kRegionOffsetMask;
    const std::uint64_t base = image.size() - kBaseWindowSize + window_offset;
    const auto length = base::try_read_u16(image, base + kLengthWord);
    if (!length || *length == 0) return BootblockChecksumProblem::Unusable;
    // Inside its window the region ends at window offset 0xFFFF at most, and
    // the window lies inside the image, so the whole region does too.
    if (window_offset + *length - 1u >= kWindowSize) return BootblockChecksumProblem::Unusable;

    BootblockChecksum at;
    at.marker = static_cast<std::uint32_t>(*marker);
    at.word = *word;
    at.region_base = static_cast<std::uint32_t>(base);
    at.region_length = *length;
    at.checksum_offset = static_cast<std::uint32_t>(base + *length - 1);
    return at;
}

std::uint8_t sum_change(base::ByteView written, base::ByteView replaced) {
    return static_cast<std::uint8_t>(base::sum8(written) - base::sum8(replaced));
}

void adjust_bootblock_checksum(base::MutableByteView image, const BootblockChecksum& at,
                               std::uint8_t change) {
    const std::uint8_t old = base::read_u8(image, at.checksum_offset);
    base::write_u8(image, at.checksum_offset, static_cast<std::uint8_t>(old + change));
}

void recompute_bootblock_checksum(base::MutableByteView image, const BootblockChecksum& at) {
    const base::ByteView region = base::slice(base::ByteView(image), at.region_base, at.region_length - 1u);
    base::write_u8(image, at.checksum_offset, base::sum8(region));
}

}  // namespace kitra::regions
