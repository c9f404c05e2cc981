#include "regions/bootblock_checksum.h"

#include "image/markers.h"

namespace kitra::regions {

namespace {

constexpr std::string_view kMarker = "*BBSS*";
constexpr std::uint32_t kBaseWindowSize = 0x20000;
constexpr std::uint32_t kSearchFromEnd = 0x16000;
constexpr std::uint32_t kWindowSize = 0x10000;
constexpr std::uint16_t kRegionOffsetMask = 0xFFF0;  // W's low nibble is not part of the offset
constexpr std::uint32_t kLengthWord = 10;            // the region's own length field

}  // namespace

std::uint64_t bootblock_search_start(image::ByteView image) {
    return image.size() >= kSearchFromEnd ? image.size() - kSearchFromEnd : 0;
}

std::variant<BootblockChecksum, BootblockChecksumProblem> locate_bootblock_checksum(image::ByteView image,
                                                                                    std::uint64_t start) {
    const auto marker = image::find_marker(image, start, kBootblockSearchPositions, kMarker);
    if (!marker) return BootblockChecksumProblem::MarkerMissing;
    const auto word = image::try_read_u16(image, *marker + kMarker.size());
    if (!word || image.size() < kBaseWindowSize) return BootblockChecksumProblem::Unusable;

    const std::uint32_t window_offset = *word & kRegionOffsetMask;
    const std::uint64_t base = image.size() - kBaseWindowSize + window_offset;
    const auto length = image::try_read_u16(image, base + kLengthWord);
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

std::uint8_t sum_change(image::ByteView written, image::ByteView replaced) {
    return static_cast<std::uint8_t>(image::sum8(written) - image::sum8(replaced));
}

void adjust_bootblock_checksum(image::MutableByteView image, const BootblockChecksum& at,
                               std::uint8_t change) {
    const std::uint8_t old = image::read_u8(image, at.checksum_offset);
    image::write_u8(image, at.checksum_offset, static_cast<std::uint8_t>(old + change));
}

void recompute_bootblock_checksum(image::MutableByteView image, const BootblockChecksum& at) {
    const image::ByteView region =
        image::slice(image::ByteView(image), at.region_base, at.region_length - 1u);
    image::write_u8(image, at.checksum_offset, image::sum8(region));
}

}  // namespace kitra::regions
