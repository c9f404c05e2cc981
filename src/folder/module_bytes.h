// A module made from its manifest entry and the files of the folder, byte
// for byte as it lay in the image: the header from its fields (or as it was
// kept), then the data: the stream as it lay, or the padding (zero bytes),
// the contents and a PE32 image's checksum byte. Unpacking compares this
// with the image and keeps what the fields do not make (the header, the
// stream); packing makes it again for every module that did not change.
#pragma once

#include <optional>

#include "base/bytes.h"
#include "folder/manifest.h"

namespace kitra::folder {

// The header the fields make: the usual form for the stored name, with the
// method, attribute, level, OS identifier and padding as given. An ISA ROM
// at a segment of its own carries the segment over the type ID suffix, which
// its header sum does not count (the add writes it after the sum).
base::Bytes header_from_fields(const ModuleEntry& entry);

// Header and data (no separator): `contents` is the module's file, `stream`
// the stream file when the entry names one.
base::Bytes module_bytes(const ModuleEntry& entry, base::ByteView contents,
                         std::optional<base::ByteView> stream);

}  // namespace kitra::folder
