// The CPU microcode updates of an image, in the three places they sit: the
// bootblock's microcode area, the CPU microcode modules of the chain
// (unpacked), and the non-compressed microcode area at the top of the
// compressed area. Each place is searched for every whole update wherever
// it starts (microcode_updates.h), not only where the legacy table's fixed
// steps land: some boards' modules begin with a table of pointers, and the
// legacy table shows none of their updates.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/bytes.h"
#include "codec/module_header.h"
#include "codec/report.h"
#include "convert/microcode_updates.h"
#include "image/layout.h"

namespace kitra::convert {

enum class MicrocodePlace { kBootblock, kModule, kUncompressed };

struct PlaceUpdates {
    MicrocodePlace place = MicrocodePlace::kBootblock;
    std::uint64_t offset = 0;  // file offset of the area, or of the module
    base::Bytes bytes;         // the area's bytes, or the module's unpacked contents
    codec::ModuleInfo module;  // kModule: the module in the chain
    bool unreadable = false;   // kModule: the codec could not unpack it (it said why)
    FoundUpdates found;        // offsets count from the start of `bytes`
};

struct ListedUpdate {
    std::size_t place = 0;  // index into ImageMicrocode::places
    Update update;
    // The place's legacy reader steps over it by another length than its
    // size (the module's fixed 2048 bytes; the non-compressed area's total
    // size word, which an AMD patch does not keep), or never reaches where it
    // starts: the legacy table does not show it whole.
    bool legacy_size = false;
    bool legacy_unreached = false;
    // Indexes into ImageMicrocode::updates.
    std::optional<std::size_t> duplicate_of;   // the first with the same processor and revision
    std::optional<std::size_t> superseded_by;  // the newest revision that covers all it covers
};

struct ImageMicrocode {
    // A bridge-ID board: its non-compressed area holds 2048-byte records and
    // the legacy table does not read the bootblock's area.
    bool bridge_layout = false;
    std::vector<PlaceUpdates> places;   // in the order above; absent places left out
    std::vector<ListedUpdate> updates;  // every place's, in order: the listing's index is position + 1
};

// The codec's text about a module it cannot unpack goes to `report`; a
// module whose header sum is wrong stops the run, as wherever one is
// unpacked.
ImageMicrocode image_microcode(base::ByteView image, const image::Layout& layout,
                               const codec::Report& report);

// A CPU microcode module of the chain with its contents as its caller
// unpacked them; none when they could not be.
struct UnpackedModule {
    codec::ModuleInfo module;
    std::optional<base::Bytes> contents;
};

// The same from modules a caller has unpacked already (every CPU microcode
// module of the chain, in the order microcode_modules lists them): nothing
// is unpacked here, and a damaged module stops nothing.
ImageMicrocode image_microcode(base::ByteView image, const image::Layout& layout,
                               std::vector<UnpackedModule> modules);

// The bootblock's microcode area as the legacy table reads it: 128 KiB from
// where the bootblock record points (cut at the image's end), and its file
// offset; empty without a bootblock record.
struct BootblockMicrocodeArea {
    std::uint64_t offset = 0;
    base::ByteView bytes;
};
BootblockMicrocodeArea bootblock_microcode_area(base::ByteView image, const image::Layout& layout);

// A bridge-ID board's "*BS1" (microcode records shown by their bridge IDs).
bool is_bridge_board(base::ByteView image);

// The file offset and the step of the CPU microcode modules of the chain.
std::vector<codec::ModuleInfo> microcode_modules(base::ByteView image, const image::Layout& layout);

}  // namespace kitra::convert
