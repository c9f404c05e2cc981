// The space report: how much of each area that takes components is used
// and how much is free (the modules of the compressed area, its special
// areas, the bootblock arena and the bootblock's fixed areas, the holes),
// and a map of the image's address space, one line per region in address
// order, that shows which region lies where and how much of it is used.
// It is made from an inventory taken without unpacking a module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "inspect/inventory.h"

namespace kitra::inspect {

struct SpaceArea {
    std::string word;  // for scripts: "compressed-area", "modules", "top-hole", "hole", ...
    std::string name;  // for people: "compressed area", "modules", "hole ID 0090", ...
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint64_t used = 0;
    // What more the area can take: below the module limit for the modules,
    // what the microcode area could grow by (the modules' free space, which
    // either may take), what lies unused behind the top hole, the rest of
    // the others.
    std::uint64_t free = 0;
};

struct MapRegion {
    std::string word;
    std::string name;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    // The bytes that hold something: the modules or the area's data, or,
    // for a stretch of no structure of its own, every byte that is not
    // erased (FFh).
    std::uint64_t used = 0;
};

struct SpaceReport {
    std::string name;
    std::uint64_t length = 0;
    std::vector<SpaceArea> areas;
    std::vector<MapRegion> map;  // in address order, from 0 to the image's end, without gaps
};

// `inventory` of `image` (taken with or without contents).
SpaceReport space_report(const Inventory& inventory, base::ByteView image);

// The areas, then the map; every line fits 80 columns.
std::string space_text(const SpaceReport& report);

// "kitra-space/1", described by schema/space.schema.json.
constexpr const char* kSpaceSchema = "kitra-space/1";
std::string space_json(const SpaceReport& report);

}  // namespace kitra::inspect
