// Position-dependent modules: PE32 and memory-init images that the firmware
// runs in place. They are stored unpacked, their data start on a boundary
// of their kind's alignment unit, they are rebased to the ROM address they
// lie at, and the bootblock's references to them are patched. Whenever a
// module in front of them goes, they are made again for their new place
// (compaction). The kind of a module (alignment, patcher, entry-point form,
// and whether it carries an image checksum) comes from the catalogue.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "base/bytes.h"
#include "cli/catalogue.h"
#include "codec/report.h"
#include "image/editable.h"
#include "regions/bootblock_references.h"

namespace kitra::regions {

// Why the component `name` (its `contents`) cannot be placed as a module of
// `kind`: it is no PE32 image that can be relocated, or it lacks the ".text"
// section its entry-point form counts from. Nothing when it can.
std::optional<std::string> pe32_refusal(base::ByteView contents, const cli::Kind& kind,
                                        const std::string& name);

// The pad between a module's header and its data at `position`: 1 to
// `alignment` bytes (never 0: data already on a boundary get a whole unit).
std::uint64_t alignment_pad(std::uint64_t position, std::uint8_t header_size, std::uint8_t alignment);

struct Rebased {
    base::Bytes module;  // header with the pad recorded, the pad (zero bytes), the data: to be written whole
    PlacedModule placed;
};

// The stored module made of `header` (H + 2 bytes, sizes those of
// `contents`) and `contents`, made for `position` in an image of
// `image_length` bytes: the pad recorded in the header (the low byte of its
// extension size, the packed size grown, the header sum made again), the
// data relocated to their ROM address, with the image checksum byte when
// `image_checksum`. Returns why not, when the contents cannot be placed.
std::variant<Rebased, std::string> rebase_module(base::ByteView header, base::ByteView contents,
                                                 std::uint64_t position, std::uint32_t image_length,
                                                 const cli::Kind& kind, bool image_checksum);

// Tells the bootblock where the module lies: the patcher of its kind.
// Returns why not, when a FixupDescriptor entry lies outside its region; a
// FixupDescriptor table of another version or a wrong sum ends the run.
std::optional<std::string> patch_references(const image::Editable& image, const cli::Kind& kind,
                                            const PlacedModule& placed);

// Removes the module of `length` bytes at `pos` and closes the gap up to
// `limit` (the module limit, or the arena's end): every module behind it
// moves down, stopping at the erased packed size, at a position that holds
// no module, or at the limit; a position-dependent module among them (by
// its type ID, however it came into the image) is made again for its new
// place and its references are patched; the space from the new end up to
// the limit becomes 0xFF. Returns why not, when a module cannot be made
// again (not unpackable, no PE32 image, no room below the limit, a
// FixupDescriptor entry outside its region): the image is then as it was.
std::optional<std::string> compact(const image::Editable& image, std::uint64_t pos, std::uint64_t length,
                                   std::uint64_t limit, const codec::Report& report);

// Moves the chain of modules that starts at `from` so that it starts at
// `to`, down or up, as compaction moves what lies behind a removed module:
// the modules up to the erased packed size, a position that holds no module
// or `limit`, each position-dependent one made again for its new place and
// its references patched, and the space from the chain's new end up to
// `limit` erased. The bytes between `from` and a higher `to` are left to the
// caller (what grew there). Returns why not, with the image as it was, when
// a module cannot be made again or would not end below `limit`.
std::optional<std::string> move_chain(const image::Editable& image, std::uint64_t from, std::uint64_t to,
                                      std::uint64_t limit, const codec::Report& report);

// Where the chain that starts at `from` would end once moved to `to`:
// position-dependent modules take the pad of their new place.
std::uint64_t moved_chain_end(base::ByteView image, std::uint64_t from, std::uint64_t to,
                              std::uint64_t limit);

}  // namespace kitra::regions
