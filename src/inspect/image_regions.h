// The regions of an image by name, for telling where a byte lies: the
// records and areas the inventory found, then the free space, the bootblock
// and the base window; anything else is the compressed area.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inspect/inventory.h"

namespace kitra::inspect {

struct NamedRegion {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::string name;
};

// Most specific first: where regions overlap, the first that holds a byte
// names it.
std::vector<NamedRegion> named_regions(const Inventory& inventory);

// The name of the region `offset` lies in, and where the stretch of bytes
// with that name ends (no later than `limit`).
std::string region_name(const std::vector<NamedRegion>& regions, std::uint64_t offset, std::uint64_t limit,
                        std::uint64_t& stretch_end);

}  // namespace kitra::inspect
