// Diff: what changed between two images, in the image's own terms rather
// than as moved bytes. Modules are matched by their area and kind (type ID;
// an ISA ROM's suffix, which holds its segment, is left out) in the order
// they come, and reported as added, removed, moved, with another header,
// repacked (the same contents in another stream) or changed (where the
// unpacked contents first differ, and in how many bytes). Option ROMs report
// a new identity (vendor, device, class) or version (revision level);
// microcode updates (as --microcode lists them) are matched by processor; the bytes outside every module
// are compared as ranges named by the region of the old image they lie in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "convert/microcode_places.h"
#include "image/layout.h"
#include "inspect/inventory.h"

namespace kitra::inspect {

enum class ModuleChange {
    kAdded,
    kRemoved,
    kMoved,     // the same bytes at another offset
    kHeader,    // the same data, another header (stored name, sizes, fields)
    kRepacked,  // the same unpacked contents, another stream
    kChanged,   // other contents
};

struct ModuleSide {
    std::uint64_t offset = 0;
    std::uint64_t step = 0;  // its bytes in the image, separator included
    std::string name;
    std::uint32_t original_size = 0;
    std::uint32_t packed_size = 0;
    std::uint16_t crc16 = 0;
};

struct ModuleDifference {
    ModuleChange change = ModuleChange::kChanged;
    ModuleArea area = ModuleArea::kChain;
    bool system_bios = false;
    std::uint16_t type_id = 0;
    ModuleKind kind;
    std::optional<ModuleSide> old_side;
    std::optional<ModuleSide> new_side;
    bool moved = false;  // header, repacked, changed: also at another offset
    // kChanged: the first offset of the unpacked contents that differs and
    // how many bytes differ (bytes past the shorter one's end count).
    std::optional<std::uint64_t> first_difference;
    std::uint64_t differing_bytes = 0;
    std::string problem;  // kChanged: a side whose contents cannot be unpacked
};

struct RomIdentity {
    std::uint16_t vendor = 0;
    std::uint16_t device = 0;
    std::uint32_t class_code = 0;
    std::uint16_t revision = 0;
};

struct RomDifference {
    bool identity = false;  // vendor, device or class changed; else the revision did
    std::string subject;    // "module 2 (PCI ROM[A])", "bootblock VGA ROM area", "hole ID 0090"
    RomIdentity old_rom;
    RomIdentity new_rom;
};

enum class UpdateChange { kAdded, kRemoved, kChanged };

// An update as its image's listing (--microcode) has it.
struct DiffUpdate {
    std::size_t number = 0;  // its index in the listing, from 1
    convert::MicrocodePlace place = convert::MicrocodePlace::kModule;
    convert::ListedUpdate update;
};

struct MicrocodeDifference {
    UpdateChange change = UpdateChange::kChanged;
    std::optional<DiffUpdate> old_update;
    std::optional<DiffUpdate> new_update;
};

struct RangeDifference {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::uint64_t differing = 0;  // bytes of the range that differ
    std::string region;           // where it lies in the old image
};

struct Difference {
    std::string old_name;
    std::string new_name;
    std::uint64_t old_length = 0;
    std::uint64_t new_length = 0;
    base::Sha256Digest old_sha256{};
    base::Sha256Digest new_sha256{};
    bool equal = false;  // byte for byte
    std::vector<ModuleDifference> modules;
    std::vector<RomDifference> option_roms;
    std::vector<MicrocodeDifference> microcode;
    std::vector<RangeDifference> ranges;
};

// An image to compare: its name, bytes and layout.
struct DiffSide {
    const std::string& name;
    base::ByteView bytes;
    const image::Layout& layout;
};

struct DiffOptions {
    std::uint64_t unpack_budget = 0;  // as in InventoryOptions, for each image (0: the default)
    // Every module unpacked, and the digests taken. Without, a module is
    // unpacked only where its data differ, option ROMs and the microcode
    // updates of the CPU microcode module are not compared, and the digests
    // are left 0: what one edit did to the image needs no more.
    bool unpack = true;
};

Difference diff_images(const DiffSide& old_image, const DiffSide& new_image, const DiffOptions& options = {});

// The differences for people, ended by the verdict line; lines fit 80 columns.
std::string difference_text(const Difference& d);

// "kitra-diff/2", described by schema/diff.schema.json.
constexpr const char* kDiffSchema = "kitra-diff/2";
std::string difference_json(const Difference& d);

}  // namespace kitra::inspect
