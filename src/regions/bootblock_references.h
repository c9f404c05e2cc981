// What the bootblock's references to position-dependent modules share: the
// module just placed (its address and entry point, from its relocation), and
// the searches for their markers, each with its own start and range.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/bytes.h"

namespace kitra::regions {

struct PlacedModule {
    std::uint32_t address = 0;      // ROM address of the module's first data byte
    std::uint32_t entry_point = 0;  // its entry-point address
    std::uint8_t pe32_kind = 0;     // 1 .. 4 for the FixupDescriptor patchers
};

// The main-form searches look at the base window's positions below this
// window offset.
constexpr std::uint64_t kMainSearchPositions = 0x1B000;
// The bootblock-form searches look at the bootblock's 64 KiB.
constexpr std::uint64_t kBootblockFormPositions = 0x10000;

// The first `marker` at 1-byte steps in [start, start + count) whose record
// of `record_size` bytes (counted from the marker's first byte) lies inside
// the image; a marker whose record the image's end cuts short is none.
std::optional<std::uint64_t> find_record(base::ByteView image, std::uint64_t start, std::uint64_t count,
                                         std::string_view marker, std::uint64_t record_size);

}  // namespace kitra::regions
