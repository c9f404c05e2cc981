// Hole areas: up to eight fixed places of the image that the BIOS build
// reserves for files the firmware finds by address, not by module header.
// A file goes into a hole byte for byte. A "*HOLE*" directory lists the holes
// (places and sizes in 4 KiB pages) and names a 4 KiB table page whose
// 32-byte records say which file each hole holds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "cli/item.h"
#include "cli/run_state.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::regions {

namespace hole {
constexpr std::uint64_t kPageSize = 0x1000;  // directory places and sizes count these

// The directory, read as one 4 KiB block from its marker.
//
//    0  "*HOLE*"
//    6  total hole area, in pages
//    8  page of the hole table
//   10  entries of 6 bytes: hole ID, first page, size in pages; an ID of
//       0xFFFF ends the list
constexpr std::string_view kMarker = "*HOLE*";
constexpr std::uint64_t kDirectorySize = 0x1000;
constexpr std::uint64_t kTotalPages = 6;
constexpr std::uint64_t kTablePage = 8;
constexpr std::uint64_t kEntries = 10;
constexpr std::uint64_t kEntrySize = 6;
constexpr std::uint64_t kEntryId = 0;
constexpr std::uint64_t kEntryFirstPage = 2;
constexpr std::uint64_t kEntryPages = 4;
// The marker is looked for at byte steps in the 64 KiB from image length -
// 0x1FFFF, at positions below 0x10000 - 6 of that block.
constexpr std::uint64_t kSearchFromEnd = 0x1FFFF;
constexpr std::uint64_t kSearchPositions = 0x10000 - kMarker.size();

// The table: one page of 32-byte records, record n for hole n. An ID of 0
// is an empty record, 0xFFFF ends the table.
//
//    0  hole ID (0x90 + n)
//    2  size of the file in the hole, in bytes (32)
//    6  the file's name, 26 bytes, NUL-terminated when shorter
constexpr std::uint64_t kTableSize = 0x1000;
constexpr std::uint64_t kRecordSize = 32;
constexpr std::uint64_t kRecordId = 0;
constexpr std::uint64_t kRecordFileSize = 2;
constexpr std::uint64_t kRecordName = 6;
constexpr std::uint64_t kNameLength = 26;
constexpr std::uint16_t kEmptyId = 0;

// Both lists end at this ID; an erased table page starts with it.
constexpr std::uint16_t kEndId = 0xFFFF;
// Hole n has the ID 0x90 + n in the directory and the table.
constexpr std::uint16_t kFirstHoleId = 0x90;
}  // namespace hole

// The directory, found by its marker.
struct HoleDirectory {
    std::uint64_t offset = 0;  // of the marker
    base::ByteView block;      // 4 KiB from the marker, less where the image ends first
    std::uint16_t word(std::uint64_t field) const { return base::try_read_u16(block, field).value_or(0); }
    std::uint64_t table() const { return std::uint64_t{word(hole::kTablePage)} * hole::kPageSize; }
    std::uint64_t total_size() const { return std::uint64_t{word(hole::kTotalPages)} * hole::kPageSize; }
};
std::optional<HoleDirectory> find_hole_directory(base::ByteView image);

// A hole the directory lists.
struct HoleEntry {
    std::uint16_t id = 0;
    std::uint16_t first_page = 0;
    std::uint16_t pages = 0;
    std::uint64_t start() const { return std::uint64_t{first_page} * hole::kPageSize; }
    std::uint64_t size() const { return std::uint64_t{pages} * hole::kPageSize; }
};
// The entries up to the end ID; the list cannot run past the directory block.
std::vector<HoleEntry> hole_entries(const HoleDirectory& directory);

// A record of the table that names a file: what the listing shows.
struct HoleRecord {
    std::uint64_t offset = 0;  // of the record
    std::uint16_t id = 0;
    std::uint32_t size = 0;
    std::string name;  // the name field up to its first zero byte, as it is stored
};
// The table's records in order, from the table page up to the end ID or the
// page's end, empty records passed over; those inside the image only.
std::vector<HoleRecord> hole_records(base::ByteView image, const HoleDirectory& directory);

// The hole lines of the listing and the total hole area line; a lone line
// end when the image has no hole directory.
void print_hole_lines(base::ByteView image, const image::Layout& layout, platform::Console& con);

// /HOLE0 .. /HOLE7 with a component file (already read into the item), and
// "checksum" after it to store the 8-bit sum of the hole in its last byte.
cli::ItemResult add_to_hole(cli::Run& run, const cli::Item& item);

// /HOLE0 .. /HOLE7 with "release" (the record is cleared, the data stays)
// or "extract" (the recorded size from the hole's start, to a typed name or
// "tempdrive.rom").
cli::ItemResult release_or_extract_hole(cli::Run& run, const cli::Item& item);

}  // namespace kitra::regions
