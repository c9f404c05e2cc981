// The two special areas at the top of the compressed area, outside the
// module chain: the non-compressed CPU microcode area and the top hole. Each
// holds unpacked data closed by a 32-byte trailer (image/records.h); the data
// starts size bytes before the trailer, and an area takes size + 32.
#pragma once

#include <cstdint>
#include <string_view>

#include "cli/item.h"
#include "cli/run_state.h"

namespace kitra::edit {

// Writes data and trailer with the data at `start`.
void write_special_area(cli::Run& run, std::uint64_t start, base::ByteView data, std::string_view marker,
                        std::string_view name);

// /NC_CPUCODE: the existing area's data plus the load image of an executable
// component, placed at the top of the compressed area or below the top hole.
bool place_ncpucode(cli::Run& run, const cli::Item& item);

// /TOPHOLE: the component written unpacked at the "/TopHole:" address, the
// microcode area moved where the new top hole leaves it no room.
bool place_top_hole(cli::Run& run, const cli::Item& item);

}  // namespace kitra::edit
