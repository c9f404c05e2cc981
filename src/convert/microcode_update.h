// The two kinds of CPU microcode record an image carries, told apart by their
// own checksums: nothing else in a record says whose it is.
//
// Intel microcode update (32-bit words):
//    0  header version       4  update revision (its low byte is shown)
//    8  date                12  processor signature (CPUID)
//   16  checksum            20  loader revision
//   24  processor flags (byte)
//   32  total size: the record's length where records follow one another
//       (0 for the old fixed 2048 bytes; 0xFFFFFFFF where no record is)
// The 32-bit sum of all words of the record is 0.
//
// AMD microcode patch (32-bit words):
//    4  patch ID            12  checksum of the patch data: the 32-bit sum
//   16  north bridge ID         of the 448 words at 64 .. 1855
//   20  south bridge ID     24  processor revision ID
#pragma once

#include <cstdint>
#include <string_view>

#include "base/bytes.h"

namespace kitra::convert {

namespace intel_update {
constexpr std::uint64_t kHeaderVersion = 0;
constexpr std::uint64_t kRevision = 4;
constexpr std::uint64_t kDate = 8;
constexpr std::uint64_t kSignature = 12;
constexpr std::uint64_t kSignatureFamilyByte = 13;
constexpr std::uint64_t kChecksum = 16;
constexpr std::uint64_t kLoaderRevision = 20;
constexpr std::uint64_t kProcessorFlags = 24;
constexpr std::uint64_t kDataSize = 28;
constexpr std::uint64_t kTotalSize = 32;
constexpr std::uint64_t kHeaderSize = 48;
}  // namespace intel_update

namespace amd_patch {
constexpr std::uint64_t kPatchId = 4;
constexpr std::uint64_t kDataChecksum = 12;
constexpr std::uint64_t kNorthBridgeId = 16;
constexpr std::uint64_t kSouthBridgeId = 20;
constexpr std::uint64_t kProcessorRevision = 24;
constexpr std::uint64_t kDataStart = 64;
constexpr std::uint64_t kDataEnd = 1856;  // 448 words
}  // namespace amd_patch

// The fixed record length of the bootblock area and the microcode module, and
// of a total size of 0.
constexpr std::uint32_t kRecordSize = 2048;

// The words of the six header fields from the version to the loader revision
// are all non-zero, and all words of `record` sum to 0.
bool is_intel_update(base::ByteView record);

// The patch data checksum matches the data, and is not 0: a blank record (all
// zero) would otherwise pass as a patch.
bool is_amd_patch(base::ByteView record);

// The 6-character platform name of an Intel update, from its processor flags
// byte and the family byte of its signature.
std::string_view platform_name(std::uint8_t flags, std::uint8_t family);

}  // namespace kitra::convert
