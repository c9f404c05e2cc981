// The module: an LZH level-1 archive member whose time-stamp words carry the
// 16-bit type ID the firmware looks its components up by. This header is the
// one place that knows the field offsets.
//
//   0  header size H (bytes from offset 2 up to and including H+1; n + 25)
//   1  header sum (8-bit sum of the H bytes at 2 .. H+1)
//   2  method, 5 bytes: "-lh5-" compressed, "-lh0-" stored
//   7  packed size (32)     11 original size (32)
//  15  type ID suffix (16)  17 type ID (16)
//  19  attribute 0x20       20 header level 0x01
//  21  name length n        22 name, n bytes, no terminator
//  22+n CRC-16 of the contents; 24+n OS identifier 0x20; 25+n extension size
//  27+n data, packed-size bytes; then one separator byte before the next module
//
// A module may carry padding between header and data: the extension-size
// field then counts zero bytes (fewer than 256) that the packed size includes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/bytes.h"

namespace kitra::codec {

namespace field {
constexpr std::uint64_t kHeaderSize = 0;
constexpr std::uint64_t kHeaderSum = 1;
constexpr std::uint64_t kMethod = 2;
constexpr std::uint64_t kPackedSize = 7;
constexpr std::uint64_t kOriginalSize = 11;
constexpr std::uint64_t kTypeSuffix = 15;
constexpr std::uint64_t kTypeId = 17;
constexpr std::uint64_t kAttribute = 19;
constexpr std::uint64_t kLevel = 20;
constexpr std::uint64_t kNameLength = 21;
constexpr std::uint64_t kName = 22;
}  // namespace field

constexpr std::size_t kMaxStoredName = 230;  // 230 + 25 fills the header-size byte
constexpr std::size_t kMaxTypeIdText = 9;
constexpr std::uint32_t kErased = 0xFFFFFFFF;    // packed size of erased flash: no module
constexpr std::uint64_t kFixedHeaderBytes = 27;  // header bytes besides the name

// A type ID text "XXXX:0" read by one left-to-right pass: a colon moves the
// accumulator into the type ID, every other character shifts in its hex value
// (non-hex characters count 0); what is left is the suffix. Low 16 bits kept.
struct TypeId {
    std::uint16_t id = 0;
    std::uint16_t suffix = 0;
};
TypeId parse_type_id_text(std::string_view text);

// A module as found in a buffer: its fields, read only when they lie inside.
struct ModuleInfo {
    std::uint64_t offset = 0;
    std::uint8_t header_size = 0;  // H
    std::uint32_t packed_size = 0;
    std::uint32_t original_size = 0;
    std::uint16_t type_suffix = 0;
    std::uint16_t type_id = 0;
    bool stored = false;  // method "-lh0-"
    std::string name;     // the stored name, cut at the header's and the buffer's end
    // H + packed size + 3: the distance to the next module.
    std::uint64_t step() const { return std::uint64_t{header_size} + packed_size + 3; }
    // H + 2 + packed size: header and data.
    std::uint64_t length() const { return std::uint64_t{header_size} + 2 + packed_size; }
};

// Bytes 2-4 read "-lh": the test every walk of the chain makes.
bool has_module_mark(base::ByteView bytes, std::uint64_t offset);

// "The module <name> (type XXXX) at XXXXXXXXh": how messages name a module
// (the stored name shown as data).
std::string module_description(const ModuleInfo& module);

// The module at `offset`, when bytes 2-4 read "-lh", its packed size is not
// the erased 0xFFFFFFFF, and its header and data lie inside `bytes`; a module
// that would reach past the buffer is not a module.
std::optional<ModuleInfo> module_at(base::ByteView bytes, std::uint64_t offset);

// 8-bit sum of the H bytes at offsets 2 .. H+1 of the module at the start of
// `module` (which must hold them).
std::uint8_t header_sum(base::ByteView module);
// Recomputes and stores the header sum.
void update_header_sum(base::MutableByteView module);

struct HeaderFields {
    std::string name;  // at most kMaxStoredName bytes
    bool stored = false;
    std::uint32_t packed_size = 0;
    std::uint32_t original_size = 0;
    TypeId type;
    std::uint16_t crc = 0;
};
// The complete header (n + 27 bytes) with its sum. Refuses (Fatal) a name over
// kMaxStoredName bytes.
base::Bytes build_header(const HeaderFields& fields);

}  // namespace kitra::codec
