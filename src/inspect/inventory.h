// The inventory of an image: everything the /D listing shows, and what it
// leaves out (header fields, checksums, option ROM identities, the
// bootblock's records, holes, the Boot On Internet values), read once into
// plain data that the JSON document, the --info columns, verify and diff
// are made from. Every module is unpacked once, one at a time; only what is
// learnt from its contents is kept, and the contents of the CPU microcode
// modules, which the microcode listing searches for updates.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/sha256.h"
#include "codec/module_header.h"
#include "convert/firmware_bitmap.h"
#include "convert/microcode_places.h"
#include "image/layout.h"
#include "inspect/module_check.h"
#include "inspect/option_rom_info.h"
#include "listing/listing.h"
#include "regions/bootblock_arena.h"
#include "regions/bootblock_modules.h"
#include "regions/hole_areas.h"

namespace kitra::inspect {

enum class ModuleArea {
    kChain,         // the compressed area's chain, the system BIOS first
    kBootblockVga,  // the on-board VGA ROM's module in the "*BT-VGA*" area
    kArena,         // the bootblock arena
};

// How the listing names a module, and how a user names its kind.
struct ModuleKind {
    std::string name;    // the listing name without its padding: "VGA ROM[1]", "Other(8000:0000)"
    std::string option;  // the option that adds such modules ("/vga", "/group5", "/other"); empty for none
    std::string slot;    // a family's slot ("1", "B", "5" for a group); empty outside the families
};

// A position-dependent module's PE32 image, as it lies.
struct Pe32Facts {
    std::uint32_t address = 0;                // ROM address of its data: the ImageBase it must have
    std::optional<std::uint32_t> image_base;  // none when the contents are no PE32 image
    std::string problem;                      // why not
    std::uint8_t sum = 0;                     // 8-bit sum of the contents
    bool checksum_expected = false;           // the "*BS1" flag is set and it lies in the chain
};

struct Module {
    ModuleArea area = ModuleArea::kChain;
    bool system_bios = false;
    codec::ModuleInfo info;  // offset, header size, sizes, type, stored name
    ModuleCheck check;       // header sum, CRC, method, problem; contents dropped
    ModuleKind kind;
    std::uint8_t attribute = 0;
    std::uint8_t level = 0;
    std::optional<OptionRom> option_rom;
    // Logo modules: the first four bytes of a firmware bitmap (its
    // signature, or the screen position of a picture given one).
    std::optional<convert::Signature> bitmap_signature;
    std::optional<Pe32Facts> pe32;
};

// The non-compressed microcode area or the top hole: data, then the trailer.
struct SpecialArea {
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    std::string trailer_name;  // from the trailer, up to its first zero byte
};

struct FreeSpace {
    std::uint64_t chain_end = 0;     // where the listing's walk stopped: the chain's free end
    std::uint64_t module_limit = 0;  // modules must end below it
    listing::SpaceFigures figures;
};

struct BootblockRecord {
    std::uint64_t offset = 0;  // of "*BBSS*"
    std::uint8_t flag_byte = 0;
    std::uint16_t region_word = 0;  // W
    std::uint16_t layout_word = 0;
    std::uint16_t limit_word = 0;
    std::uint16_t image_checksum_word = 0;
    std::uint16_t microcode_word = 0;
};

struct Bs1Record {
    std::uint64_t offset = 0;
    std::uint8_t size_code = 0;
    bool pe32_checksum = false;
    std::uint32_t microcode_address = 0;
    bool top_hole = false;
};

// The bootblock checksum byte and the sum it should hold.
struct BootblockChecksumByte {
    std::uint64_t region_base = 0;
    std::uint16_t region_length = 0;
    std::uint64_t offset = 0;
    std::uint8_t stored = 0;
    std::uint8_t sum = 0;  // of the region's other bytes
};

struct VgaRomArea {  // "BtBkVgaRom": the ROM byte for byte
    std::uint64_t line = 0;
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::optional<OptionRom> rom;
};

struct VgaModuleArea {  // "*BT-VGA*": the ROM as a module (listed with the modules)
    std::uint64_t line = 0;
    regions::MarkedArea area;
};

struct PmuInfo {
    std::uint64_t line = 0;
    regions::PmuPlace place;
    std::optional<std::uint64_t> rom;  // file offset of the place
    std::optional<regions::PmuVersion> version;
};

struct ArenaInfo {
    regions::Arena arena;
    std::uint64_t free_slot = 0;
    bool full = false;
};

struct Bootblock {
    std::optional<BootblockRecord> bbss;
    std::vector<Bs1Record> bs1;
    std::optional<BootblockChecksumByte> checksum;
    std::optional<VgaRomArea> vga_rom;
    std::optional<VgaModuleArea> vga_module;
    std::optional<regions::MarkedArea> nv_memory;
    std::optional<regions::NvMemoryIdentification> nv_memory_id;
    std::optional<PmuInfo> pmu;
    std::optional<ArenaInfo> arena;
};

struct HoleInfo {
    regions::HoleEntry entry;
    std::optional<regions::HoleRecord> record;  // its first record in the table
    std::optional<OptionRom> rom;               // the recorded file, when it is one
};

struct Holes {
    std::uint64_t directory = 0;
    std::uint64_t total_size = 0;
    std::uint64_t table = 0;
    std::vector<HoleInfo> holes;               // as the directory lists them
    std::vector<regions::HoleRecord> records;  // as the listing shows them
};

struct BootOnInternet {
    std::uint64_t offset = 0;
    std::uint8_t use_dhcp = 0;
    std::array<std::uint8_t, 4> server_ip{};
    std::array<std::uint8_t, 4> static_ip{};
    std::array<std::uint8_t, 4> net_mask{};
    std::array<std::uint8_t, 4> gate_way{};
    std::array<std::uint8_t, 4> dns{};
    std::uint8_t use_proxy = 0;
    std::array<std::uint8_t, 4> proxy_ip{};
    std::uint16_t proxy_port = 0;
};

struct Inventory {
    std::string name;  // as given on the command line
    std::uint64_t length = 0;
    std::uint32_t crc32 = 0;
    base::Sha256Digest sha256{};
    image::Layout layout;
    std::vector<Module> modules;  // the chain in order, the bootblock VGA module, the arena's
    std::optional<SpecialArea> microcode_area;
    std::optional<SpecialArea> top_hole;
    FreeSpace space;
    Bootblock bootblock;
    std::optional<Holes> holes;
    std::optional<BootOnInternet> boot_on_internet;
    // The CPU microcode updates in their three places, as --microcode lists
    // them (the microcode modules' contents kept with them).
    convert::ImageMicrocode microcode;
};

// Unpacked bytes an image's modules may claim in all, unless the options
// say otherwise: this many times the image's length, and at least 256 MiB.
// Real modules stay far below; a crafted image whose modules each claim
// hundreds of MiB (a stream of a few bytes can) is not unpacked past it.
constexpr std::uint64_t kUnpackBudgetPerByte = 64;
constexpr std::uint64_t kMinimumUnpackBudget = 256u << 20;

struct InventoryOptions {
    bool digests = true;              // CRC-32 and SHA-256 of the whole image (verify needs neither)
    std::uint64_t unpack_budget = 0;  // 0: the default above
    bool keep_contents = false;       // each module keeps its unpacked contents (check.contents)
    // Every module unpacked (its CRC, option ROM, bitmap, PE32 image and
    // microcode updates learnt); without, only what lies in the image as it
    // is, which is all a report of its space needs.
    bool contents = true;
};

Inventory take_inventory(const std::string& name, base::ByteView image, const image::Layout& layout,
                         const InventoryOptions& options = {});

// The kind of a module of `area` with this type ID.
ModuleKind module_kind(ModuleArea area, std::uint16_t type_id, std::uint16_t suffix);

// "chain", "bootblock-vga", "arena".
const char* area_word(ModuleArea area);

}  // namespace kitra::inspect
