// The records the BIOS build leaves in an image for the tool and the
// firmware to find, each declared here once with its offsets. The searches
// that find them keep their own start, step and limit (which occurrence
// counts depends on them); they use these names for what they read.
#pragma once

#include <cstdint>
#include <string_view>

namespace kitra::image {

// The base window: the last 128 KiB of the image, where the bootblock and its
// records lie. Window offsets count from its start.
constexpr std::uint32_t kBaseWindowSize = 0x20000;
// The 64 KiB pieces the base window is searched and addressed in; the last
// of them is the bootblock.
constexpr std::uint32_t kWindow64K = 0x10000;

inline std::uint64_t base_window_start(std::uint64_t image_length) {
    return image_length - kBaseWindowSize;
}
// The bootblock: the last 64 KiB of the image. Its 16-bit offsets count from here.
inline std::uint64_t bootblock_start(std::uint64_t image_length) {
    return image_length - kWindow64K;
}

// Most users look for the bootblock's records from this distance before the
// image's end.
constexpr std::uint64_t kRecordSearchFromEnd = 0x16000;

// "*BBSS*": the bootblock record.
//
//   -26  flag byte: bit 1 is the bootblock flag (the balance area is in use)
//     0  "*BBSS*"
//     6  W: the checksum region's window offset (high 12 bits) and the
//        bootblock segment's rotation; in the extended layout, the checksum
//        block's 4 KiB page (bits 12-15) and 64 KiB segment (bits 0-3)
//     8  layout word: bits 0-3 nonzero for the extended layout; bits 12-15
//        the checksum block's page in the plain layout
//    12  the compressed area's end: its page in the window (bits 12-15)
//    18  the image checksum word: its page (plain layout), or its address
//        bits 16-23 (low byte) and 8-15 (high byte) in the extended layout
//    33  the bootblock's microcode area: its offset in the window (images up
//        to 4 x 64 KiB), or its address bits 8-15 in the high byte (larger
//        images, whose bits 16-23 are those of the image checksum word)
namespace bbss {
constexpr std::string_view kMarker = "*BBSS*";
constexpr std::uint64_t kFlagByteBefore = 26;
constexpr std::uint8_t kBootblockFlagBit = 0x02;
constexpr std::uint64_t kRegionWord = 6;
constexpr std::uint64_t kLayoutWord = 8;
constexpr std::uint64_t kLimitWord = 12;
constexpr std::uint64_t kImageChecksumWord = 18;
constexpr std::uint64_t kMicrocodeWord = 33;
// Positions searched from a start, at 1-byte steps.
constexpr std::uint32_t kSearchPositions = 0x6000;
}  // namespace bbss

// "*BS1": the bootblock's pointers and switches.
//
//    0  "*BS1"
//    5  size code of the bootblock
//    6  flags: bit 7 set when compressed-area PE32 images carry a checksum byte
//   11  address of the non-compressed microcode area (32-bit ROM address;
//       0 and 0xFFFFFFFF mean none); the low three bits of its first byte
//       are 1 in a bridge-ID board's bootblock, whose microcode records are
//       shown by their bridge IDs
//   15  flags: bit 4 set when the image has a top hole
namespace bs1 {
constexpr std::string_view kMarker = "*BS1";
constexpr std::uint64_t kSizeCode = 5;
constexpr std::uint64_t kPe32Flags = 6;
constexpr std::uint8_t kPe32ChecksumBit = 0x80;
constexpr std::uint64_t kMicrocodeAddress = 11;
constexpr std::uint64_t kBridgeByte = 11;
constexpr std::uint8_t kBridgeMask = 0x07;
constexpr std::uint8_t kBridgeValue = 0x01;
constexpr std::uint64_t kFlags = 15;
constexpr std::uint8_t kTopHoleBit = 0x10;
// Where the records that the bootblock's references count may lie: at
// these steps over these bytes from image length - 0x16000.
constexpr std::uint64_t kAlignedSearchStep = 4;
constexpr std::uint64_t kAlignedSearchBytes = 0x6000;
}  // namespace bs1

// The 32-byte trailer that closes the non-compressed microcode area and the
// top hole; the area's data lies right before it.
//
//    0  marker, 8 bytes: "*ALIN16*" (microcode) or "$TopHole"
//    8  size of the data (32)     12  0 (32)
//   16  name, 12 bytes: "NCPUCODE.BIN" or "TOP_HOLE.BIN"   28  0 (32)
namespace trailer {
constexpr std::uint64_t kSize = 32;
constexpr std::uint64_t kMarker = 0;
constexpr std::uint64_t kDataSize = 8;
constexpr std::uint64_t kName = 16;
constexpr std::uint64_t kNameLength = 12;
constexpr std::string_view kMicrocodeMarker = "*ALIN16*";
constexpr std::string_view kMicrocodeName = "NCPUCODE.BIN";
constexpr std::string_view kTopHoleMarker = "$TopHole";
constexpr std::string_view kTopHoleName = "TOP_HOLE.BIN";
}  // namespace trailer

}  // namespace kitra::image
