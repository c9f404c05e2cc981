// The two special areas at the top of the compressed area, outside the
// module chain: the non-compressed CPU microcode area and the top hole. Each
// holds unpacked data closed by a 32-byte trailer (image/records.h); the data
// starts size bytes before the trailer, and an area takes size + 32.
#pragma once

#include <cstdint>
#include <string_view>

#include "cli/item.h"
#include "cli/run_state.h"
#include "image/layout.h"

namespace kitra::edit {

// Writes data and trailer with the data at `start`.
void write_special_area(cli::Run& run, std::uint64_t start, base::ByteView data, std::string_view marker,
                        std::string_view name);

// /NC_CPUCODE: the existing area's data plus the load image of an executable
// component, placed at the top of the compressed area or below the top hole.
bool place_ncpucode(cli::Run& run, const cli::Item& item);

// Where a non-compressed microcode area of `size` data bytes goes, the
// module chain ending at `chain_end`: at the top of the compressed area, or
// right below the top hole when the top hole leaves no room above it. When
// it does not fit, by how many bytes.
struct NcpucodeSpot {
    bool fits = false;
    std::uint64_t start = 0;
    std::uint64_t excess = 0;
};
NcpucodeSpot ncpucode_spot(const image::Layout& layout, std::uint64_t chain_end, std::uint64_t size);

// The most data bytes such an area can hold (0 when not even its trailer fits).
std::uint64_t ncpucode_room(const image::Layout& layout, std::uint64_t chain_end);

// `data` as the whole non-compressed microcode area, placed as ncpucode_spot
// says (the old area erased first); the "*BS1" pointer follows when the
// image is finished. Reports the excess when it does not fit; returns whether
// it was written.
bool place_ncpucode_data(cli::Run& run, base::ByteView data);

// /TOPHOLE: the component written unpacked at the "/TopHole:" address, the
// microcode area moved where the new top hole leaves it no room.
bool place_top_hole(cli::Run& run, const cli::Item& item);

}  // namespace kitra::edit
