// The system BIOS body: the contents of the first module of the compressed
// area (type 5000), which no legacy command reaches. The module chain
// starts 64 KiB after the system BIOS module, or one byte past its end when
// it is longer (H + packed size + 4), so a body that packs to another size
// moves the chain with every module in it: position-dependent modules are
// made again for their new place and the bootblock's references to them
// patched, as when a module in front of them is released.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "base/bytes.h"
#include "cli/run_state.h"
#include "codec/module_header.h"
#include "image/layout.h"

namespace kitra::folder {

// The system BIOS module, when the image has a chain behind one (the walk
// start is not 0) and it lies whole in the image.
std::optional<codec::ModuleInfo> find_body(base::ByteView image, const image::Layout& layout);

// Where the chain starts behind a system BIOS module at `offset` whose
// header size and packed size are `header_size` and `packed_size`.
std::uint64_t chain_start_behind(std::uint64_t offset, std::uint64_t header_size, std::uint64_t packed_size);

struct BodyReplaced {
    std::uint64_t module_size = 0;  // the new system BIOS module, header and data
    std::int64_t shift = 0;         // how far the chain moved (negative: down)
};

// Replaces the body with `contents`, packed ("-lh5-", or stored when that
// is not smaller, with the packer's progress text) under the stored name
// `name` and the type ID text `type_text`. The bytes from the new module's
// end to the chain's new start are erased; those behind the old module's
// separator (and the byte the walk start leaves after it) must be erased
// already, or the body is refused rather than overwrite them. A body that
// does not fit is refused with the exact excess. Returns the text of the
// refusal (the image then as it was), or what was done.
std::variant<BodyReplaced, std::string> replace_body(cli::Run& run, base::ByteView contents,
                                                     const std::string& name, const std::string& type_text);

}  // namespace kitra::folder
