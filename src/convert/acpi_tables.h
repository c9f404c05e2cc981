// ACPI tables. Two kinds of module hold them: the table module, whose
// contents are a table body followed by the DSDT ("ACPITBL.BIN"), and the
// ACPI SDT modules, one whole table each. Every table starts with the
// system description table header; the fields used here:
//
//   0  Signature (4 characters)
//   4  Length of the whole table, header included (32 bits)
//   9  Checksum: makes the 8-bit sum of the Length bytes 0
//  10  OEM ID (6 characters)
//  16  OEM Table ID (8 characters)
//  24  OEM Revision (32 bits, shown as its four bytes read as text)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/bytes.h"

namespace kitra::convert {

namespace acpi {
constexpr std::uint64_t kSignature = 0;
constexpr std::uint64_t kSignatureSize = 4;
constexpr std::uint64_t kLength = 4;
constexpr std::uint64_t kOemId = 10;
constexpr std::uint64_t kOemIdSize = 6;
constexpr std::uint64_t kOemTableId = 16;
constexpr std::uint64_t kOemTableIdSize = 8;
constexpr std::uint64_t kOemRevision = 24;
constexpr std::uint64_t kOemRevisionSize = 4;
// Every table starts with the header; no table is shorter.
constexpr std::uint64_t kHeaderSize = 36;

// The firmware reads an ACPI SDT module's table into a 64 KiB buffer, and
// the table module's body into the first 32 KiB of one.
constexpr std::uint64_t kMaxModuleTable = 65536;
constexpr std::uint64_t kMaxBody = 32768;
constexpr std::uint64_t kMaxJoin = 65536;

// The DSDT that the table module carries behind its body.
constexpr std::string_view kDsdtFile = "DSDT.AML";
}  // namespace acpi

enum class AcpiTableCheck {
    kGood,
    kWrongSize,    // no Length field, a Length other than the table's size, or over 64 KiB
    kTooShort,     // its size as its Length says, but shorter than the header
    kBadChecksum,  // the sum of its bytes is not 0
};

// An ACPI SDT module's table, before it is added.
AcpiTableCheck check_acpi_table(base::ByteView table);

// A header field as the slot choice shows it: the field's bytes up to its
// end or an earlier zero byte (and up to the end of a table cut short).
std::string acpi_header_text(base::ByteView table, std::uint64_t offset, std::uint64_t size);

// The table module's contents: the body with the DSDT behind it (the body
// alone without one). Bodies built from an executable must fit 32 KiB, and
// every join 64 KiB: larger ones are refused, never cut.
enum class AcpiJoinProblem { kNone, kBodyTooLarge, kTooLarge };
struct AcpiJoin {
    base::Bytes table;
    AcpiJoinProblem problem = AcpiJoinProblem::kNone;
};
AcpiJoin join_acpi_table(base::ByteView body, const std::optional<base::Bytes>& dsdt,
                         bool body_from_executable);

}  // namespace kitra::convert
