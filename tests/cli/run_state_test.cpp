#include "cli/run_state.h"

#include <gtest/gtest.h>

#include "support/captured_console.h"

namespace kitra::cli {
namespace {

// A failed item is undone whole: bytes, layout and flags, whether or not an
// earlier item had already changed the image.
TEST(ItemUndo, FailedItemGetsBytesLayoutAndFlagsBack) {
    testing::CapturedConsole cap;
    const base::Bytes read(0x20000, 0xFF);
    image::Layout layout;
    layout.compressed_limit = 0x18000;
    cli::Run run({}, image::Image("img.bin", read), layout, cap.con);
    for (bool earlier_change : {false, true}) {
        if (earlier_change) image::write_u8(run.image, 5, 0x55);
        const base::Bytes bytes_before = run.image.bytes();
        const image::Layout layout_before = run.layout;
        const FinishFlags flags_before = run.flags;

        const ItemUndo undo(run);
        // Several ranges, one over the earlier item's byte, one over another.
        image::fill(run.image, 0, 0x200, 0);
        image::write_u16(run.image, 0x100, 0x1234);
        image::copy_into(run.image, 0x1E000, base::Bytes(0x2000, 0x11));
        run.layout.ncpucode_present = true;
        run.layout.ncpucode_offset = 0x17000;
        run.layout.top_hole_start = 0x16000;
        run.flags.ncpucode_placed = true;
        run.flags.ncpucode_not_done = true;
        undo.undo(run);

        EXPECT_EQ(run.image.bytes(), bytes_before);
        EXPECT_EQ(run.image.changed(), earlier_change);
        EXPECT_EQ(run.layout, layout_before);
        FinishFlags expected = flags_before;
        expected.ncpucode_not_done = true;  // finishing still needs to know
        EXPECT_EQ(run.flags, expected);
        run.flags = flags_before;
    }
}

}  // namespace
}  // namespace kitra::cli
