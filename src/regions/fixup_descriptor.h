// The FixupDescriptor patcher. The bootext and the bootblock list the places
// that must learn where a PE32 module of each kind lies in "FixupDescriptor"
// tables:
//
//    0  "FixupDescriptor" (15 bytes)
//   15  version, must be 0        16  version, must be 9
//   17  check byte: the 8-bit sum of the six counts
//   18  six counts: the entries of categories 0 .. 5
//   24  the entries, 3 bytes each, all of category 0 first, then 1, ...:
//       a 16-bit offset and an 8-bit kind (0 every kind, 1 .. 4 a PE32 kind)
//
// A bootext table (in the base window's first 64 KiB) counts its offsets
// from the checksum region base B of "*BBSS*"; a bootblock table from the
// bootblock's start. Category 0: a descriptor base of G x 16 (every entry);
// 1: a descriptor base of the module address (entries of the kind); 2: G x
// 16 added to a far pointer whose bits 16-23 are clear (the kind, or kind
// 0); 3: the entry point (the kind); 4: the segment G (every entry); 5: the
// module address (the kind). A bootblock table has only categories 1, 3, 5.
//
// A table of another version or a wrong check byte ends the run (Fatal,
// status 1; what the run changed is discarded). An entry that would write
// outside its region (the bootext, or the bootblock) refuses the patch
// before anything of its table is written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "image/editable.h"
#include "regions/bootblock_references.h"

namespace kitra::regions {

namespace fixup {
constexpr std::string_view kMarker = "FixupDescriptor";
constexpr std::uint64_t kVersion = 15;
constexpr std::uint8_t kVersionValue = 0;
constexpr std::uint64_t kSubVersion = 16;
constexpr std::uint8_t kSubVersionValue = 9;
constexpr std::uint64_t kCheckByte = 17;
constexpr std::uint64_t kCounts = 18;
constexpr int kCategories = 6;
constexpr std::uint64_t kEntries = 24;
constexpr std::uint64_t kEntrySize = 3;
constexpr std::uint64_t kEntryKind = 2;
}  // namespace fixup

enum class FixupForm : std::uint8_t {
    kMain,       // a module of the compressed area: bootext tables, and bootblock tables when
                 // the arena holds no module of the kind's bootblock variant
    kBootblock,  // a module of the bootblock arena: bootblock tables only
};

// Patches the tables for `module` (its address, entry point and PE32 kind).
// Returns why it refused, when an entry lies outside its region.
std::optional<std::string> patch_fixup_descriptors(const image::Editable& image, const PlacedModule& module,
                                                   FixupForm form);

}  // namespace kitra::regions
