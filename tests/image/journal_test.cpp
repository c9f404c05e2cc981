#include "image/journal.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/fatal.h"
#include "image/editable.h"
#include "image/image_file.h"
#include "support/image_builder.h"
#include "support/rng.h"

namespace kitra::image {
namespace {

using base::Bytes;

// 64 KiB of erased flash around data, and runs of one value just under, at
// and just over the length from which a run is kept as a value.
Bytes mixed() {
    Bytes b(0x10000, 0xFF);
    const Bytes data = testing::pseudo_random_bytes(0x4000, 7);
    std::copy(data.begin(), data.end(), b.begin() + 0x1000);
    std::fill_n(b.begin() + 0x6000, 255, 0x00);
    std::fill_n(b.begin() + 0x6100, 256, 0x00);
    std::fill_n(b.begin() + 0x6300, 257, 0x11);
    return b;
}

// Writes of every kind at random places (overlapping each other, ranges
// written before and not, moves inside the image), each also made on
// `model`.
void random_writes(Image& image, Bytes& model, std::uint64_t seed, int count) {
    testing::Rng rng(seed);
    for (int i = 0; i < count; ++i) {
        const std::uint64_t at = rng.below(0x10000);
        const std::uint64_t n =
            std::min<std::uint64_t>(1 + rng.below(i % 4 == 0 ? 0x3000 : 40), 0x10000 - at);
        switch (rng.below(3)) {
            case 0: {
                const std::uint8_t value = rng.below(2) == 0 ? 0xFF : static_cast<std::uint8_t>(rng.next());
                fill(image, at, n, value);
                std::fill_n(model.begin() + static_cast<std::ptrdiff_t>(at), n, value);
                break;
            }
            case 1: {
                const std::uint64_t from = rng.below(static_cast<unsigned>(0x10000 - n + 1));
                copy_into(image, at, base::ByteView(image.bytes()).subspan(from, n));
                const Bytes moved(model.begin() + static_cast<std::ptrdiff_t>(from),
                                  model.begin() + static_cast<std::ptrdiff_t>(from + n));
                std::copy(moved.begin(), moved.end(), model.begin() + static_cast<std::ptrdiff_t>(at));
                break;
            }
            default:
                if (at + 4 > 0x10000) break;
                write_u32(image, at, rng.next());
                base::copy_into(model, at, base::slice(base::ByteView(image.bytes()), at, 4));
                break;
        }
    }
}

TEST(Journal, AFailedItemGetsEveryByteBackWhateverItWrote) {
    Image image("bios.bin", mixed());
    Bytes model = image.bytes();
    random_writes(image, model, 1, 30);  // an earlier item, kept
    image.keep_changes();
    const Bytes before = image.bytes();

    for (std::uint64_t seed = 2; seed < 12; ++seed) {
        const std::size_t mark = image.mark();
        random_writes(image, model, seed, 200);
        ASSERT_EQ(image.bytes(), model) << "seed " << seed;
        image.roll_back(mark);
        ASSERT_EQ(image.bytes(), before) << "seed " << seed;
        model = before;
    }
    EXPECT_TRUE(image.changed());
}

TEST(Journal, MarksNestAnOperationUndoesOnlyItsOwnWrites) {
    Image image("bios.bin", mixed());
    const Bytes original = image.bytes();
    const std::size_t item = image.mark();
    fill(image, 0x0F00, 0x300, 0x00);  // erased flash and data
    const Bytes after_first = image.bytes();
    const Editable view = image;
    const std::size_t operation = view.mark();
    fill(view, 0x0E00, 0x200, 0x5A);  // partly over the first write
    write_u16(view, 0x6080, 0x1234);
    view.roll_back(operation);
    EXPECT_EQ(image.bytes(), after_first);
    image.roll_back(item);
    EXPECT_EQ(image.bytes(), original);
    EXPECT_FALSE(image.changed());
}

// "Changed" means "differs from the file": what a run writes back as it was
// is no change, and an undone item leaves nothing to write.
TEST(Journal, ChangedMeansTheBytesDifferFromWhatWasRead) {
    Image image("bios.bin", mixed());
    EXPECT_FALSE(image.changed());
    copy_into(image, 0x2000, Bytes(image.bytes().begin() + 0x2000, image.bytes().begin() + 0x2100));
    fill(image, 0x8000, 0x1000, 0xFF);
    EXPECT_FALSE(image.changed());

    write_u8(image, 0x2050, static_cast<std::uint8_t>(image.bytes()[0x2050] + 1));
    EXPECT_TRUE(image.changed());
    image.keep_changes();
    // A later item puts the byte back: the image is the file again.
    const std::size_t mark = image.mark();
    write_u8(image, 0x2050, static_cast<std::uint8_t>(image.bytes()[0x2050] - 1));
    EXPECT_FALSE(image.changed());
    image.roll_back(mark);
    EXPECT_TRUE(image.changed());

    Image other("bios.bin", mixed());
    const std::size_t item = other.mark();
    fill(other, 0x9000, 0x2000, 0x00);  // over erased flash
    EXPECT_TRUE(other.changed());
    other.roll_back(item);
    EXPECT_FALSE(other.changed());
}

TEST(Journal, AWriteOutsideTheImageStopsTheRunAndTouchesNothing) {
    Image image("bios.bin", mixed());
    const Bytes before = image.bytes();
    EXPECT_THROW(fill(image, 0xFFF0, 0x11, 0), Fatal);
    EXPECT_THROW(write_u32(image, 0xFFFD, 0), Fatal);
    EXPECT_EQ(image.bytes(), before);
    EXPECT_FALSE(image.changed());
    EXPECT_EQ(image.mark(), 0u);
}

}  // namespace
}  // namespace kitra::image
