// The module catalogue: every option name with its option code, the type ID
// it stores modules under, the name the listing shows for a type ID, and the
// name the failure summary uses. One table of data; everything else in the
// tool names a component kind by its option code or its type ID.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kitra::cli {

// How the listing names the modules of an option.
enum class Listing : std::uint8_t {
    kFixed,      // a fixed name, padded with blanks to its printed width
    kFamily,     // a numbered family (GROUP, VGA, PCI, ISA, ACPI SDT): the slot is part of the name
    kByTypeId,   // /other: whatever its type ID names
    kBootblock,  // kept in the bootblock arena: bootblock_listing_name
    kNotListed,  // no module of the compressed area (none, holes, top hole, size only)
};

constexpr std::uint16_t kNoType = 0xFFFF;  // options that create no module of the compressed area

struct CatalogueEntry {
    int code = 0;                     // 1 .. 164
    std::string_view option;          // as typed, e.g. "/vga"
    std::string_view type_id_text;    // e.g. "4080:0"; empty for options that create no module
    std::string_view failure_name;    // replaces %s in the failure summary
    std::uint16_t type_id = kNoType;  // the number before the colon of type_id_text
    Listing listing = Listing::kNotListed;
    std::string_view listing_name;  // kFixed: the name without its padding
    int listing_width = 0;          // kFixed: the printed width
};

// Every entry, in option-code order.
std::span<const CatalogueEntry> catalogue();

// Whole name, letter case ignored; 0 when the word is not an option.
int lookup_option(std::string_view word);

// Option names and the keywords ("release", "extract", "noreserve",
// "checksum", "/err") compare with ASCII letter case ignored; other bytes
// compare as they are.
bool equal_ignoring_case(std::string_view a, std::string_view b);

// The entry of an option code, or nullptr for codes no option has (0, 6, 114, 115, > 164).
const CatalogueEntry* entry_for_code(int code);

std::string_view failure_name(int code);

// Listing name of a type ID: a fixed name padded to its printed width, or the
// family format (GROUP, VGA, PCI, ISA, ACPI SDT), or "Other(%04X:%04X)".
std::string listing_name(std::uint16_t type_id, std::uint16_t suffix);

// Listing name of a module kept in the bootblock arena ("MEM INIT IN BB  ",
// "1 PE32 IN BB  " .. "4 PE32 IN BB  ", else "Other(%04X:%04X)").
std::string bootblock_listing_name(std::uint16_t type_id, std::uint16_t suffix);

// Group numbers the /group option accepts.
constexpr int kMaxGroupNumber = 27;

}  // namespace kitra::cli
