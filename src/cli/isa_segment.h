// The segment of an ISA ROM. An ISA ROM added with a segment of its own
// ("/isa isa.rom C800:0") carries it over its type ID suffix (offsets
// 15-16), which its header sum was taken without: the sum is the one made
// with the suffix 0. So every reader of a module of an ISA type takes it
// with its suffix cleared first, as the add's walk does; else its header sum
// fails and the run stops.
#pragma once

#include <cstdint>

#include "base/bytes.h"
#include "codec/module_header.h"

namespace kitra::cli {

// Whether modules of `type_id` are ISA ROMs, which may carry a segment.
bool may_carry_segment(std::uint16_t type_id);

// The module `module` (starting with its header) of `type_id` as a reader
// takes it: for an ISA type a copy in `copy` with its suffix cleared, else
// the bytes as they are.
base::ByteView module_to_read(base::ByteView module, std::uint16_t type_id, base::Bytes& copy);

// The type ID suffix of `module` as it means a type: 0 for an ISA type,
// whose suffix holds its segment.
std::uint16_t type_suffix(const codec::ModuleInfo& module);

}  // namespace kitra::cli
