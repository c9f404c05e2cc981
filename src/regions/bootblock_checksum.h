// The bootblock checksum byte. The bootblock record "*BBSS*" is followed by a
// word W whose upper twelve bits place a checksum region in the base window
// (the last 128 KiB of the image); the region's word at +10 is its length L,
// and its last byte holds the 8-bit sum of the region's other bytes. Whoever
// writes inside the region keeps that byte right, either by adjusting it
// with the bytes written against the bytes replaced, or by recomputing it.
#pragma once

#include <cstdint>
#include <optional>
#include <variant>

#include "base/bytes.h"
#include "image/editable.h"
#include "image/records.h"

namespace kitra::regions {

struct BootblockChecksum {
    std::uint32_t marker = 0;           // file offset of "*BBSS*"
    std::uint16_t word = 0;             // W, the word right after the marker
    std::uint32_t region_base = 0;      // B = base window + (W AND 0xFFF0)
    std::uint16_t region_length = 0;    // L = the word at B + 10
    std::uint32_t checksum_offset = 0;  // the region's last byte, B + L - 1
};

enum class BootblockChecksumProblem {
    MarkerMissing,  // no "*BBSS*" in the searched positions: nothing to keep right
    Unusable,       // W or L put the region outside the image or its 64 KiB window
};

// Positions searched for "*BBSS*", at 1-byte steps.
constexpr std::uint32_t kBootblockSearchPositions = image::bbss::kSearchPositions;

// Where the users without a "*BS1" search of their own start looking for
// "*BBSS*": image length - 0x16000.
std::uint64_t bootblock_search_start(base::ByteView image);

// The first "*BBSS*" in [start, start + 0x6000) and the checksum region it
// names. A region of length 0, or one whose last byte would lie past the end
// of the 64 KiB window it starts in, is refused as Unusable: the byte that the
// 16-bit window offset names would then not be the region's last byte, and
// writing either could break the bootblock.
std::variant<BootblockChecksum, BootblockChecksumProblem> locate_bootblock_checksum(base::ByteView image,
                                                                                    std::uint64_t start);

// The bootblock segment G: W rotated right by 4 bits within 16 bits.
inline std::uint16_t bootblock_segment(std::uint16_t word) {
    return static_cast<std::uint16_t>((word >> 4) | (word << 12));
}

// The 8-bit change a write makes to a byte sum: sum(written) - sum(replaced).
std::uint8_t sum_change(base::ByteView written, base::ByteView replaced);

// Adds `change` to the checksum byte (mod 256).
void adjust_bootblock_checksum(const image::Editable& image, const BootblockChecksum& at,
                               std::uint8_t change);

// Stores the 8-bit sum of the region's first L - 1 bytes in its last byte.
void recompute_bootblock_checksum(const image::Editable& image, const BootblockChecksum& at);

// What the patchers take from "*BBSS*": the bootblock segment G and the
// checksum region base B that its word gives, and the checksum byte when
// the region is usable (else nothing is adjusted: a byte the record does
// not place inside its window is no checksum byte to keep right).
struct BootblockRecord {
    std::uint16_t segment = 0;      // G
    std::uint64_t region_base = 0;  // B
    std::optional<BootblockChecksum> checksum;
};
// The first "*BBSS*" in [start, start + 0x6000); none when it is missing or
// its word lies past the image.
std::optional<BootblockRecord> locate_bootblock_record(base::ByteView image, std::uint64_t start);

// Where the patchers look for "*BBSS*": right after the first "*BS1" record
// that counts (image::find_bs1_records), where their own "*BS1" search
// stops; without one, where the other users start.
std::uint64_t patcher_search_start(base::ByteView image);

// Writes that keep the checksum byte right: every byte written inside the
// region moves it by new minus old; bytes outside the region, and the byte
// itself, move it by nothing. Without a checksum the bytes are just written.
struct ChecksummedWrites {
    image::Editable image;
    std::optional<BootblockChecksum> checksum;

    void write(std::uint64_t offset, base::ByteView bytes) const;
    void write_u16(std::uint64_t offset, std::uint16_t value) const;
    void write_u32(std::uint64_t offset, std::uint32_t value) const;
};

}  // namespace kitra::regions
