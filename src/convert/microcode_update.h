// The two kinds of CPU microcode record an image carries, told apart by their
// own checksums: nothing else in a record says whose it is.
//
// Intel microcode update (32-bit words):
//    0  header version       4  update revision (its low byte is shown)
//    8  date                12  processor signature (CPUID)
//   16  checksum            20  loader revision
//   24  processor flags: the mask of platform IDs the update is for (its
//       low byte also picks the legacy table's platform name)
//   28  data size (0 for the old fixed 2000 bytes)
//   32  total size: the record's length where records follow one another
//       (0 for the old fixed 2048 bytes; 0xFFFFFFFF where no record is);
//       a multiple of 1024: header, data and the extended signature table
// The 32-bit sum of the header and data words is 0. The date is BCD digits,
// month, day and year from the high byte down (0x07152003).
//
// Extended signature table, after the data where the total size leaves room:
//    0  count of entries     4  checksum (the table's words sum to 0)
//   20  entries of 12 bytes: CPUID, processor flags, and the checksum word
//       the header would hold with that CPUID and those flags in it
//
// AMD microcode patch (32-bit words):
//    4  patch ID            12  checksum of the patch data: the 32-bit sum
//   16  north bridge ID         of the 448 words at 64 .. 1855
//   20  south bridge ID     24  processor revision ID
// A patch fills one 2048-byte record.
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
constexpr std::uint32_t kKnownHeaderVersion = 1;
constexpr std::uint32_t kOldDataSize = 2000;  // what a data size of 0 stands for
constexpr std::uint32_t kSizeUnit = 1024;     // total sizes are multiples of it
}  // namespace intel_update

namespace extended_signatures {
constexpr std::uint64_t kCount = 0;
constexpr std::uint64_t kChecksum = 4;
constexpr std::uint64_t kHeaderSize = 20;
constexpr std::uint64_t kEntrySize = 12;
constexpr std::uint64_t kEntrySignature = 0;
constexpr std::uint64_t kEntryFlags = 4;
constexpr std::uint64_t kEntryChecksum = 8;
}  // namespace extended_signatures

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
