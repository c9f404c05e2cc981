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

void adjust_bootblock_checksum(const image::Editable& image, const BootblockChecksum& at,
                               std::uint8_t change) {
    const std::uint8_t old = base::read_u8(image.bytes(), at.checksum_offset);
    image::write_u8(image, at.checksum_offset, static_cast<std::uint8_t>(old + change));
}

void recompute_bootblock_checksum(const image::Editable& image, const BootblockChecksum& at) {
    const base::ByteView region = base::slice(image.bytes(), at.region_base, at.region_length - 1u);
    image::write_u8(image, at.checksum_offset, base::sum8(region));
}

std::optional<BootblockRecord> locate_bootblock_record(base::ByteView image, std::uint64_t start) {
    const auto marker = image::find_marker(image, start, kBootblockSearchPositions, kMarker);
    if (!marker || image.size() < kBaseWindowSize) return std::nullopt;
    const auto word = base::try_read_u16(image, *marker + image::bbss::kRegionWord);
    if (!word) return std::nullopt;
    BootblockRecord record;
    record.segment = bootblock_segment(*word);
    record.region_base = image.size() - kBaseWindowSize + (*word & kRegionOffsetMask);
    const auto found = locate_bootblock_checksum(image, start);
    if (const auto* at = std::get_if<BootblockChecksum>(&found)) record.checksum = *at;
    return record;
}

std::uint64_t patcher_search_start(base::ByteView image) {
    const std::vector<std::uint64_t> bs1 = image::find_bs1_records(image);
    if (bs1.empty()) return bootblock_search_start(image);
    return bs1.front() + image::bs1::kMarker.size();
}

void ChecksummedWrites::write(std::uint64_t offset, base::ByteView bytes) const {
    const base::MutableByteView to = image.edit(offset, bytes.size());
    std::uint8_t change = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint64_t at = offset + i;
        const bool counted = checksum && at >= checksum->region_base && at < checksum->checksum_offset;
        if (counted) change = static_cast<std::uint8_t>(change + bytes[i] - to[i]);
        to[i] = bytes[i];
    }
    if (checksum && change != 0) adjust_bootblock_checksum(image, *checksum, change);
}

void ChecksummedWrites::write_u16(std::uint64_t offset, std::uint16_t value) const {
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
    write(offset, bytes);
}

void ChecksummedWrites::write_u32(std::uint64_t offset, std::uint32_t value) const {
    std::uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    write(offset, bytes);
}

}  // namespace kitra::regions
