// The module catalogue: every option name with its option code, the type ID
// it stores modules under, the name the listing shows for a type ID, the name
// the failure summary uses, and what kind of component it is. One table of
// data: the item loop and the add, release and extract operations read the
// kind of an option from here and keep no lists of option codes or type ID
// ranges of their own.
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

// Where the component of an option goes.
enum class Place : std::uint8_t {
    kNowhere,         // lists, shows or reports only (/d, /BOI, /CALS)
    kChain,           // a module of the compressed area's chain
    kNcpucodeArea,    // the non-compressed microcode area at the top of the compressed area
    kTopHole,         // the top hole
    kBootblockArea,   // a fixed area of the bootblock (/btvga, /NVMM, /NVPMU)
    kArena,           // the bootblock arena
    kHole,            // one of the hole areas
    kBootOnInternet,  // the "$BOI" block
};

// How the input is prepared before it is placed.
enum class Input : std::uint8_t {
    kNone,               // no input (/d, /BOI)
    kPacked,             // packed; a ready module as it is, "BM" and "MZ" inputs by their rules
    kStored,             // stored, its data aligned to 16 bytes (/NoCompress)
    kSizeOnly,           // packed quietly to report the size; the image is not changed (/CALS)
    kJpeg,               // a JPEG picture behind 16 zero bytes
    kGif,                // a GIF picture as it is
    kMib,                // a text document in the "-MIB-" form
    kPositionDependent,  // stored, aligned, rebased to its address and referenced by the bootblock
    kRaw,                // byte for byte, by the rule of its place
};

// The conversion a bitmap input ("BM") of a packed kind gets.
enum class Bitmap : std::uint8_t {
    kFullScreen,  // logo conversion, full-screen mode
    kEpa,         // logo conversion, EPA mode
    kOsb,         // OSB conversion
    kGuiOsb,      // GUI OSB conversion
    kAsItIs,      // none: the file is packed as it is, whatever it begins with
};

// What becomes of an executable input ("MZ") of a packed kind.
enum class Executable : std::uint8_t {
    kBody,   // the load image after its header, stored
    kWhole,  // packed whole, header included
};

// The numbered families: type ID ranges whose members are alternatives of one
// kind, in slots.
enum class Family : std::uint8_t { kNone, kGroup, kVga, kPci, kIsa, kAcpiSdt };

// What has to be told where a position-dependent module now lies.
enum class Patcher : std::uint8_t {
    kNone,
    kMemInitMain,       // memory-init patcher, main form
    kMemInitBootblock,  // memory-init patcher, bootblock form
    kHtInit,            // HTINIT patcher
    kFixupMain,         // FixupDescriptor patcher, main form
    kFixupBootblock,    // FixupDescriptor patcher, bootblock form
};

// The fixed area of the bootblock a component of Place::kBootblockArea goes to.
enum class BootblockArea : std::uint8_t {
    kNone,
    kVgaRom,    // the on-board VGA ROM: the "BtBkVgaRom" area, else the "*BT-VGA*" area
    kNvMemory,  // the nVidia memory module: the "*NVDAMM*" area
    kPmu,       // the PMU ROM: the "*NVDPMU*" place
};

struct Kind {
    Place place = Place::kChain;
    Input input = Input::kPacked;
    Bitmap bitmap = Bitmap::kFullScreen;
    Executable executable = Executable::kBody;
    Family family = Family::kNone;
    // Position-dependent kinds: the alignment unit of the data, the patcher,
    // the PE32 kind (1 .. 4) for the FixupDescriptor patchers, and whether the
    // entry point counts from the ".text" section's file offset (HTINIT).
    std::uint8_t alignment = 0;
    Patcher patcher = Patcher::kNone;
    std::uint8_t pe32_kind = 0;
    bool entry_from_file_offset = false;
    BootblockArea bootblock_area = BootblockArea::kNone;
    // A logo: a picture the firmware shows (a firmware bitmap, or a JPEG or
    // GIF picture).
    bool logo = false;
};

// Command-line properties of an option, as bits.
namespace word {
constexpr std::uint8_t kAlone = 1;         // may stand without a RomFile (its built-in input, or no input)
constexpr std::uint8_t kAloneFirst = 2;    // may stand alone only as the first word (image named by _last)
constexpr std::uint8_t kNoReserve = 4;     // the run-wide "noreserve" word applies to its bitmap
constexpr std::uint8_t kPosition = 8;      // the two numbers after its RomFile place its bitmap
constexpr std::uint8_t kReverseLogo = 16;  // an extracted module is turned back into a BMP
}  // namespace word

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
    Kind kind;
    std::uint8_t words = 0;  // word::k... bits
    bool has(std::uint8_t bit) const { return (words & bit) != 0; }
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

// The kind of an option code; codes no option has are of no place.
const Kind& kind_of(int code);

std::string_view failure_name(int code);

// Listing name of a type ID: a fixed name padded to its printed width, or the
// family format (GROUP, VGA, PCI, ISA, ACPI SDT), or "Other(%04X:%04X)".
std::string listing_name(std::uint16_t type_id, std::uint16_t suffix);

// Listing name of a module kept in the bootblock arena ("MEM INIT IN BB  ",
// "1 PE32 IN BB  " .. "4 PE32 IN BB  ", else "Other(%04X:%04X)").
std::string bootblock_listing_name(std::uint16_t type_id, std::uint16_t suffix);

// The option that adds modules of `type_id` to the module chain (`arena`
// false) or to the bootblock arena (true): the first in code order whose
// type ID is `type_id`, or whose family holds it; one that stands for a
// ready-made module of a fixed path (/ncr, /aha) only when no other does.
// nullptr when no option adds such modules (/other then names them).
const CatalogueEntry* option_for_type(std::uint16_t type_id, bool arena);

// Group numbers the /group option accepts.
constexpr int kMaxGroupNumber = 27;

// The type IDs of a family.
struct FamilyRange {
    std::uint16_t first = 0;
    std::uint16_t last = 0;
    bool contains(std::uint16_t type_id) const { return type_id >= first && type_id <= last; }
};
FamilyRange family_range(Family family);
// The family a type ID belongs to (kNone outside every range).
Family family_of_type(std::uint16_t type_id);

// The letter a slot is shown with: VGA "1" .. "6"; PCI "A" .. "Z"; ISA "A" ..
// "D" for 0x40A0 .. 0x40A3 and "1" .. "4" for 0x40A4 .. 0x40A7; ACPI SDT "A"
// .. "J". `type_id` must be one of the family's.
char slot_letter(Family family, std::uint16_t type_id);

// Whether an add whose target is `target` compares the contents of an
// existing module of type `existing` to tell a replacement from another ROM.
bool compares_content(std::uint16_t existing, std::uint16_t target);

// Modules of `type_id` hold logos (some option of a logo kind stores them).
bool is_logo_type(std::uint16_t type_id);
// Some option places its bitmap under `type_id` at a screen position, which
// then takes the first four bytes of the bitmap in place of its signature.
bool takes_position(std::uint16_t type_id);

// Modules whose contents depend on their address: the type IDs of every
// position-dependent kind, whichever option put them there.
bool is_position_dependent(std::uint16_t type_id);
// The kind a module of such a type ID is rebuilt by when it moves (its
// alignment, patcher, entry-point form and place); nullptr for other types.
const Kind* position_dependent_kind(std::uint16_t type_id);
// The type ID of the position-dependent kind with `patcher` and `pe32_kind`
// (the bootblock variant a main-form patcher looks for in the arena);
// kNoType when there is none.
std::uint16_t position_dependent_type(Patcher patcher, std::uint8_t pe32_kind);

// The built-in input an option uses when it is given without a RomFile.
enum class DefaultInput : std::uint8_t {
    kNone,
    kReadyModule,     // a ready module at a fixed library path
    kExecutable,      // an "MZ" executable whose body is written to a ".BIN" and packed
    kFile,            // a plain file, packed
    kAcpiJoin,        // "ACPITBL.BIN" with "DSDT.AML" behind it
    kAcpiExecutable,  // the body of "ACPITBL.EXE" with "DSDT.AML" behind it
};
struct Default {
    DefaultInput input = DefaultInput::kNone;
    std::string_view name;  // the fixed path or file name
    std::string_view
        prepared;  // the file it becomes and is packed as ("CPUCODE.BIN", ...); empty for ready modules
    bool bitmap_body = false;  // a body that is a bitmap ("BM") becomes an EPA logo, logo flags byte 0
};
Default default_input(int code);

}  // namespace kitra::cli
