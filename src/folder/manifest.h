// The manifest of an unpacked image ("manifest.json", schema
// "kitra-folder/1", schema/folder.schema.json): every byte of the image
// belongs to exactly one part, in offset order. A part is the system BIOS
// module (the body), a module (of the chain, the bootblock arena or the
// bootblock's VGA area) whose unpacked contents are a file, or a region:
// bytes outside the modules, kept as a file or, when every byte is the
// same, as that byte and a length.
//
// A module's entry holds everything needed to make it again byte for byte:
// its header's fields (or the header itself where they do not make it), its
// padding, a PE32 image's checksum byte, the byte after it, and for packed
// data the stream as it lay (a file of its own), so that an unchanged
// module is never packed again. Two digests tell whether it is unchanged:
// of its file, and of the module the entry and the files make.
//
// Members are written in name order and entries in offset order, one a
// line, so that a version-control diff of two unpacked images reads well.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/bytes.h"

namespace kitra::folder {

constexpr const char* kFolderSchema = "kitra-folder/1";
constexpr const char* kManifestName = "manifest.json";

enum class Area : std::uint8_t {
    kChain,         // the compressed area's chain
    kArena,         // the bootblock arena
    kBootblockVga,  // the on-board VGA ROM's module in the "*BT-VGA*" area
};
// "chain", "arena", "bootblock-vga": the inventory's words.
const char* area_word(Area area);

struct ModuleEntry {
    std::optional<std::uint64_t> offset;  // where it lay; none for a module to add
    Area area = Area::kChain;
    std::string file;
    std::string kind;    // the listing's name, for people
    std::string option;  // the option whose rules pack changed contents ("/pci", "/other")

    // The header's fields.
    std::string name;  // the stored name, bytes
    std::uint16_t type_id = 0;
    std::uint16_t type_suffix = 0;
    std::string method = "-lh5-";
    std::uint8_t header_size = 0;
    std::uint8_t attribute = 0x20;
    std::uint8_t level = 1;
    std::uint8_t os = 0x20;
    std::uint16_t padding = 0;  // the extension size: bytes between header and data
    std::uint16_t crc16 = 0;
    std::uint32_t original_size = 0;
    std::uint32_t packed_size = 0;
    std::optional<base::Bytes> header;  // the header as it lay, where the fields do not make it

    // The data, and the byte after the module.
    bool unpacked = true;                       // false: `file` holds the data as they lay
    std::optional<std::string> stream;          // a file of the data as they lay
    std::optional<std::uint8_t> checksum_byte;  // a PE32 image's last byte, left out of `file`
    std::optional<std::uint8_t> separator;

    std::string sha256;         // of `file` as unpacked
    std::string module_sha256;  // of the module as it lay (header and data)

    // Header, data and separator: the bytes it took in the image.
    std::uint64_t span() const { return std::uint64_t{header_size} + 2 + packed_size + (separator ? 1 : 0); }
};

struct RegionEntry {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::string name;                  // what the bytes are ("bootblock", "free-space" ...)
    std::optional<std::string> file;   // the bytes, or
    std::optional<std::uint8_t> fill;  // every byte this one
    std::string sha256;                // of the file
};

struct Manifest {
    std::uint64_t length = 0;  // of the image
    std::uint32_t crc32 = 0;
    std::string sha256;
    std::optional<ModuleEntry> body;
    std::vector<ModuleEntry> modules;
    std::vector<RegionEntry> regions;
};

std::string manifest_json(const Manifest& manifest);

// The manifest in `text`, checked field by field; or why not, naming the
// entry and the field.
std::variant<Manifest, std::string> read_manifest(std::string_view text);

// How refusals name an entry: `body (body.bin)`, `modules[3] (modules/pci-B-raid.rom)`.
std::string body_label(const ModuleEntry& body);
std::string module_label(const ModuleEntry& entry, std::size_t index);
std::string region_label(const RegionEntry& entry, std::size_t index);

}  // namespace kitra::folder
