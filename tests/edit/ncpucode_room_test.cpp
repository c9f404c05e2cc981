// The room of the non-compressed microcode area: the largest area the
// placement takes is the room, one byte more is not.
#include <gtest/gtest.h>

#include "edit/special_areas.h"

namespace kitra::edit {
namespace {

TEST(NcpucodeRoom, TheLargestAreaThePlacementTakes) {
    struct Case {
        std::uint32_t top_hole_start, top_hole_size;
        std::uint64_t chain_end, room, start;
    };
    const std::vector<Case> cases = {
        {0, 0, 0x10000, 0x10000 - 32, 0x10000},                 // up to the compressed area's end
        {0x1E000, 0x1000, 0x10000, 0xE000 - 32, 0x10000},       // below the top hole: more room there
        {0x11000, 0x1000, 0x10000, 0xE000 - 64, 0x12000 + 32},  // above it, 64 bytes short of the end
    };
    for (const Case& c : cases) {
        image::Layout l;
        l.compressed_limit = 0x20000;
        l.top_hole_start = c.top_hole_start;
        l.top_hole_size = c.top_hole_size;
        const std::uint64_t room = ncpucode_room(l, c.chain_end);
        EXPECT_EQ(room, c.room) << c.top_hole_start;
        const NcpucodeSpot fits = ncpucode_spot(l, c.chain_end, room);
        EXPECT_TRUE(fits.fits);
        EXPECT_EQ(fits.start, c.start) << c.top_hole_start;
        EXPECT_FALSE(ncpucode_spot(l, c.chain_end, room + 1).fits) << c.top_hole_start;
    }
    // A chain up to the end leaves not even room for the trailer.
    image::Layout full;
    full.compressed_limit = 0x20000;
    EXPECT_EQ(ncpucode_room(full, 0x1FFF0), 0u);
    EXPECT_EQ(ncpucode_spot(full, 0x1FFF0, 0).excess, 16u);
}

}  // namespace
}  // namespace kitra::edit
