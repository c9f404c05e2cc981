#include "regions/finishing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>

#include "base/fatal.h"
#include "support/captured_console.h"
#include "support/image_builder.h"

namespace kitra::regions {
namespace {

using base::Bytes;
using base::ByteView;
using testing::ImageBuilder;
using testing::pseudo_random_bytes;
using testing::stored_module;

// The sums the firmware checks, computed here on their own: little-endian
// words from offset 0 (a trailing odd byte as a low byte), and bytes.
std::uint16_t word_sum(ByteView b) {
    unsigned s = 0;
    for (std::size_t i = 0; i < b.size(); i += 2) s += b[i] + (i + 1 < b.size() ? b[i + 1] << 8 : 0);
    return static_cast<std::uint16_t>(s);
}
std::uint8_t byte_sum(ByteView b) {
    return base::sum8(b);
}
std::uint8_t sum_of(ByteView b, std::uint64_t from, std::uint64_t to) {
    return base::sum8(b.subspan(from, to - from));
}

image::Layout layout_of(const Bytes& bytes) {
    auto found = image::discover_layout(bytes, 0, false);
    EXPECT_TRUE(std::holds_alternative<image::Layout>(found));
    return std::holds_alternative<image::Layout>(found) ? std::get<image::Layout>(found) : image::Layout{};
}

struct Finished {
    Bytes bytes;
    std::string out;
};

// Finishes `bytes` in a run with the layout found in them; `setup` sets what
// the items of the run did.
Finished finish(const Bytes& bytes, const std::function<void(cli::Run&)>& setup) {
    testing::CapturedConsole c;
    cli::Settings settings;
    settings.image_name = "bios.bin";
    cli::Run run(settings, image::Image("bios.bin", bytes), layout_of(bytes), c.con);
    setup(run);
    finish_image(run);
    return {run.image.bytes(), c.out()};
}

// The text a refused finishing stops the run with.
std::string refusal(const Bytes& bytes, const std::function<void(cli::Run&)>& setup) {
    try {
        finish(bytes, setup);
    } catch (const Fatal& stop) {
        EXPECT_EQ(stop.status, 1);
        return stop.what();
    }
    return "(finished)";
}

const auto kAdded = [](cli::Run& run) { run.component_mark = true; };

std::set<std::uint64_t> changed_offsets(const Bytes& a, const Bytes& b) {
    std::set<std::uint64_t> out;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) out.insert(i);
    return out;
}

bool subset(const std::set<std::uint64_t>& a, const std::set<std::uint64_t>& b) {
    for (auto x : a)
        if (!b.contains(x)) return false;
    return true;
}

// A 256 KiB image of random bytes: the system BIOS module at 0, "*BS1" at
// 0x2A000, "*BBSS*" at 0x2A100 with the checksum block at 0x2E000 (summing
// from 0 to 0x2EFFE), the compressed-area limit 0x2D000 and the image
// checksum word at window offset `balance_nibble` << 12, whose 1 KiB hold
// `area`.
constexpr std::uint32_t kLength = 0x40000;
constexpr std::uint32_t kBs1 = 0x2A000;
constexpr std::uint32_t kBbss = 0x2A100;
constexpr std::uint32_t kChecksumBlock = 0x2E000;
constexpr std::uint32_t kSumByte = kChecksumBlock + 4094;
constexpr std::uint32_t kFollowerByte = kChecksumBlock + 4095;
constexpr std::uint32_t kPlainBalanceWord = kLength - 0x20000 + 0x1E054;

// What the 1 KiB at the image checksum word hold.
enum class Area {
    kCode,      // firmware bytes (random)
    kErased,    // all 0xFF
    kBalanced,  // a balance word, then slots FFFFh FFFFh and 0000h FFFEh mixed
    kMarked,    // "IMD$" over firmware bytes
};

void put_area(ImageBuilder& b, std::uint32_t at, Area area) {
    if (area == Area::kCode) return;
    if (area == Area::kMarked) {
        b.put_text(at, "IMD$");
        return;
    }
    b.fill(at, 1024, 0xFF);
    if (area == Area::kBalanced) {
        b.put_u16(at, 0x1234);
        for (std::uint32_t slot : {0u, 1u, 7u, 254u}) b.put_u32(at + 2 + 4 * slot, 0xFFFE0000u);
    }
}

struct Shape {
    bool bootblock_flag = true;
    std::uint16_t balance_nibble = 0xF;  // 0x2F000, above the checksummed range
    Area area = Area::kErased;
    std::uint32_t ncpucode_address = 0xFFFFFFFF;
    std::uint8_t bs1_flags = 0;
    std::uint32_t seed = 7;
};

ImageBuilder normal_image(const Shape& s = {}) {
    ImageBuilder b(kLength);
    b.put(0, pseudo_random_bytes(kLength, s.seed));
    b.put(0, stored_module("sys.rom", "5000:0", pseudo_random_bytes(0x8000, s.seed + 1)));
    b.put_bs1_record(kBs1, s.ncpucode_address, s.bs1_flags);
    b.put_bootblock_record(kBbss, 0x1230, 0xE000, 0xD000, static_cast<std::uint16_t>(s.balance_nibble << 12),
                           s.bootblock_flag ? 0x02 : 0x00);
    put_area(b, 0x20000u + (s.balance_nibble << 12), s.area);
    return b;
}

constexpr std::uint32_t kBalanceOutside = 0x2F000;

// Slots 0000h FFFEh up to some count of at most 255, then 0xFF to the end
// of the 1 KiB area; returns the count, or -1 when the area is not so.
int balance_slots(const Bytes& b, std::uint32_t area) {
    int c = 0;
    while (c < 255 && base::read_u32(b, area + 2 + 4u * c) == 0xFFFE0000u) ++c;
    for (std::uint32_t i = area + 2 + 4u * c; i < area + 1024; ++i)
        if (b[i] != 0xFF) return -1;
    return c;
}

TEST(Finishing, WithTheBootblockFlagBothSumsBecomeZero) {
    const Bytes before = normal_image().bytes;
    const Finished after = finish(before, kAdded);
    EXPECT_EQ(after.bytes[kSumByte], sum_of(after.bytes, 0, kSumByte));
    EXPECT_EQ(word_sum(after.bytes), 0u);
    EXPECT_EQ(byte_sum(after.bytes), 0u);
    EXPECT_GE(balance_slots(after.bytes, kBalanceOutside), 0);
    EXPECT_EQ(after.out, "");
    // The fixed balance word of images without the flag is left alone.
    EXPECT_EQ(base::read_u16(after.bytes, kPlainBalanceWord), base::read_u16(before, kPlainBalanceWord));
}

TEST(Finishing, WithoutTheBootblockFlagOnlyTheWordSumIsBalancedAtTheFixedWord) {
    const Bytes before = normal_image({.bootblock_flag = false}).bytes;
    const Finished after = finish(before, kAdded);
    EXPECT_EQ(word_sum(after.bytes), 0u);
    EXPECT_TRUE(subset(changed_offsets(before, after.bytes),
                       {kSumByte, kFollowerByte, kPlainBalanceWord, kPlainBalanceWord + 1}));
    // For this image the byte sum falls elsewhere.
    EXPECT_NE(byte_sum(after.bytes), 0u);
}

// The bytes at the image checksum word are a balance area only when erased
// or in balance form, and only outside the range the checksum block sums;
// anything else is the firmware's and is left as it is. Whatever finishing
// writes, the checksum block sums right, and finishing again changes nothing.
TEST(Finishing, BalanceAreaOnlyWhereTheImageHasOne) {
    struct Case {
        const char* what;
        Shape shape;
        bool balanced;
    };
    const Case cases[] = {
        {"code", {.area = Area::kCode}, false},
        {"erased", {.area = Area::kErased}, true},
        {"balance form", {.area = Area::kBalanced}, true},
        {"IMD$", {.area = Area::kMarked}, false},
        {"the checksum block's code", {.balance_nibble = 0xE, .area = Area::kCode}, false},
        {"erased, inside the summed range", {.balance_nibble = 0xC, .area = Area::kErased}, false},
    };
    for (const Case& c : cases) {
        const Bytes before = normal_image(c.shape).bytes;
        const std::uint32_t area = 0x20000u + (c.shape.balance_nibble << 12);
        const Finished once = finish(before, kAdded);
        EXPECT_EQ(once.bytes[kSumByte], sum_of(once.bytes, 0, kSumByte)) << c.what;
        const Finished twice = finish(once.bytes, kAdded);
        EXPECT_EQ(twice.bytes, once.bytes) << c.what;
        if (c.balanced) {
            EXPECT_EQ(word_sum(once.bytes), 0u) << c.what;
            EXPECT_EQ(byte_sum(once.bytes), 0u) << c.what;
            EXPECT_GE(balance_slots(once.bytes, area), 0) << c.what;
            EXPECT_EQ(balance_place(once.bytes, layout_of(once.bytes)), BalancePlace::kArea) << c.what;
        } else {
            EXPECT_TRUE(subset(changed_offsets(before, once.bytes), {kSumByte, kFollowerByte})) << c.what;
        }
    }
}

// Without the flag the fixed word is balanced only where the checksum block
// does not sum it: here "*BBSS*" in the second window puts the block at
// 0x3F000, whose range holds the word at 0x3E054.
TEST(Finishing, PlainBalanceWordInsideTheSummedRangeIsNotWritten) {
    ImageBuilder b(kLength);
    b.put(0, pseudo_random_bytes(kLength, 11));
    b.put(0, stored_module("sys.rom", "5000:0", pseudo_random_bytes(0x8000, 12)));
    b.put_bootblock_record(0x31000, 0x1230, 0xF000, 0xD000, 0xC000, 0x00);
    const Finished after = finish(b.bytes, kAdded);
    EXPECT_TRUE(subset(changed_offsets(b.bytes, after.bytes), {0x3FFFE, 0x3FFFF}));
    EXPECT_EQ(after.bytes[0x3FFFE], sum_of(after.bytes, 0, 0x3FFFE));
}

TEST(Finishing, ChecksumBlockBelowTheSystemBiosCoversNothing) {
    ImageBuilder b = normal_image();
    b.put_u8(kSumByte, 0x30);
    b.put_u8(kFollowerByte, 0x05);
    const Finished after = finish(b.bytes, [](cli::Run& run) {
        run.component_mark = true;
        run.layout.system_bios_offset = kSumByte;
    });
    EXPECT_EQ(after.bytes[kSumByte], 0x00u);
    EXPECT_EQ(after.bytes[kFollowerByte], 0xD5u);  // 05h + (00h - 30h)
}

TEST(Finishing, WithoutBootblockRecordTheSystemBiosIsNotWrittenAsAChecksumBlock) {
    ImageBuilder b(kLength);
    b.put(0, pseudo_random_bytes(kLength, 3));
    b.put(0, stored_module("sys.rom", "5000:0", pseudo_random_bytes(0x8000, 4)));
    b.put_bs1_record(kBs1, 0xFFFFFFFF, 0);
    const Finished after = finish(b.bytes, kAdded);
    // Only the fixed balance word changes; offsets 4094 and 4095 of the
    // system BIOS module keep their bytes.
    EXPECT_TRUE(subset(changed_offsets(b.bytes, after.bytes), {kPlainBalanceWord, kPlainBalanceWord + 1}));
    EXPECT_EQ(word_sum(after.bytes), 0u);
}

TEST(Finishing, ReleasedTopHoleIsErasedAndNoChecksumIsTouched) {
    ImageBuilder b = normal_image({.bs1_flags = 0x10});
    b.put_trailer(0x20000, "$TopHole", 0x1000, "TOPHOLE");
    ASSERT_EQ(layout_of(b.bytes).top_hole_start, 0x1F000u);
    const Finished after = finish(b.bytes, [](cli::Run& run) {
        run.component_mark = true;
        run.flags.top_hole_released = true;
    });
    Bytes expected = b.bytes;
    std::fill(expected.begin() + 0x1F000, expected.begin() + 0x20020, 0xFF);
    EXPECT_EQ(after.bytes, expected);
    EXPECT_EQ(after.out, "");
}

TEST(Finishing, ReleasingATopHoleTheImageDoesNotHaveStillFinishes) {
    const Bytes before = normal_image().bytes;
    const Finished after = finish(before, [](cli::Run& run) { run.flags.top_hole_released = true; });
    EXPECT_EQ(word_sum(after.bytes), 0u);
    EXPECT_EQ(byte_sum(after.bytes), 0u);
}

// The microcode area at 0x30000 (address FFFF0000h), 0x2000 bytes and its trailer.
ImageBuilder image_with_microcode_area() {
    ImageBuilder b = normal_image({.ncpucode_address = 0xFFFF0000});
    b.put_trailer(0x32000, "*ALIN16*", 0x2000, "NCPUCODE");
    return b;
}

TEST(Finishing, ReleasedMicrocodeAreaIsErasedWithItsFreeAddressEvenWithoutAComponent) {
    const Bytes before = image_with_microcode_area().bytes;
    ASSERT_EQ(layout_of(before).ncpucode_size, 0x2000u);
    const Finished after = finish(before, [](cli::Run& run) { run.flags.ncpucode_released = true; });
    EXPECT_EQ(after.out, "\n  Free address [30000] of the BIOS\n");
    for (std::uint32_t i = 0x30000; i < 0x32020; ++i) ASSERT_EQ(after.bytes[i], 0xFF) << i;
    EXPECT_EQ(after.bytes[0x32020], before[0x32020]);
    EXPECT_EQ(after.bytes[0x2FFFF], before[0x2FFFF]);
    // The pointer is the release's business; finishing leaves it.
    EXPECT_EQ(base::read_u32(after.bytes, kBs1 + 11), 0xFFFF0000u);
    EXPECT_EQ(after.bytes[kSumByte], sum_of(after.bytes, 0, kSumByte));
    EXPECT_EQ(word_sum(after.bytes), 0u);
    EXPECT_EQ(byte_sum(after.bytes), 0u);
}

TEST(Finishing, ReleaseOnlyRunLeavesValidChecksums) {
    const Bytes before = normal_image().bytes;
    const Finished after = finish(before, [](cli::Run& run) { run.flags.modules_moved = true; });
    EXPECT_EQ(after.bytes[kSumByte], sum_of(after.bytes, 0, kSumByte));
    EXPECT_EQ(word_sum(after.bytes), 0u);
    EXPECT_EQ(byte_sum(after.bytes), 0u);
}

TEST(Finishing, RunThatTouchedNoComponentChangesNoByte) {
    const Bytes before = image_with_microcode_area().bytes;
    const Finished after = finish(before, [](cli::Run& run) { run.flags.ncpucode_not_done = true; });
    EXPECT_EQ(after.bytes, before);
    EXPECT_EQ(after.out, "");
}

TEST(Finishing, MicrocodePointerFollowsThePlacedAreaAndMovesTheChecksumBytes) {
    const Bytes before = normal_image().bytes;
    const Finished after = finish(before, [](cli::Run& run) {
        run.component_mark = true;
        run.flags.ncpucode_placed = true;
        run.layout.ncpucode_offset = 0x34000;
        run.layout.ncpucode_size = 0x1000;
    });
    EXPECT_EQ(base::read_u32(after.bytes, kBs1 + 11), 0xFFFF4000u);
    // d = (00 + 40 + FF + FF) - (FF + FF + FF + FF) = 3Eh - FCh = 42h (mod 256).
    const std::uint8_t d = 0x42;
    // The sum byte moved by d, the follower by 2 d; then the sum byte was
    // recomputed and the follower took that change too.
    const std::uint8_t a = before[kSumByte];
    const std::uint8_t s = sum_of(after.bytes, 0, kSumByte);
    EXPECT_EQ(after.bytes[kSumByte], s);
    EXPECT_EQ(after.bytes[kFollowerByte], static_cast<std::uint8_t>(before[kFollowerByte] + 2 * d +
                                                                    (s - static_cast<std::uint8_t>(a + d))));
    EXPECT_EQ(word_sum(after.bytes), 0u);
    EXPECT_EQ(byte_sum(after.bytes), 0u);
}

TEST(Finishing, PresentMicrocodeAreaIsPointedAtAgain) {
    const Bytes before = image_with_microcode_area().bytes;
    const Finished after = finish(before, kAdded);
    EXPECT_EQ(base::read_u32(after.bytes, kBs1 + 11), 0xFFFF0000u);
    EXPECT_EQ(after.bytes[kSumByte], sum_of(after.bytes, 0, kSumByte));
}

TEST(Finishing, MicrocodeItemThatEndedNotDoneLeavesThePointerUnlessErrorMode) {
    const Bytes before = normal_image().bytes;
    const auto placed_not_done = [](bool error_mode) {
        return [error_mode](cli::Run& run) {
            run.component_mark = true;
            run.flags.ncpucode_placed = true;
            run.flags.ncpucode_not_done = true;
            run.settings.error_mode = error_mode;
            run.layout.ncpucode_offset = 0x34000;
        };
    };
    EXPECT_EQ(base::read_u32(finish(before, placed_not_done(false)).bytes, kBs1 + 11), 0xFFFFFFFFu);
    EXPECT_EQ(base::read_u32(finish(before, placed_not_done(true)).bytes, kBs1 + 11), 0xFFFF4000u);
}

TEST(Finishing, MissingBs1RecordSkipsOnlyThePointer) {
    ImageBuilder b = normal_image();
    b.put_text(kBs1, "XXXX");
    const Finished after = finish(b.bytes, [](cli::Run& run) {
        run.component_mark = true;
        run.flags.ncpucode_placed = true;
        run.layout.ncpucode_offset = 0x34000;
    });
    EXPECT_EQ(base::read_u32(after.bytes, kBs1 + 11), 0xFFFFFFFFu);
    EXPECT_EQ(after.bytes[kSumByte], sum_of(after.bytes, 0, kSumByte));
    // Without the pointer's d the follower only took the sum byte's change.
    EXPECT_EQ(static_cast<std::uint8_t>(after.bytes[kFollowerByte] - b.bytes[kFollowerByte]),
              static_cast<std::uint8_t>(after.bytes[kSumByte] - b.bytes[kSumByte]));
}

// A 1 MiB image with the extended bootblock layout: "*BBSS*" at 0xEA000 with
// W = 300Dh: the bootblock checksum region at 0xE3000, 0x1000 bytes, its
// checksum byte at 0xE3FFF, the checksum block at 0xD4000 (segment D, block
// (3000h + 1000h) AND F000h), the balance area at 0x0DC000. "*BS1" lies
// inside the bootblock checksum region.
constexpr std::uint32_t kExtLength = 0x100000;
constexpr std::uint32_t kExtRegion = 0xE3000;
constexpr std::uint32_t kExtChecksumByte = 0xE3FFF;
constexpr std::uint32_t kExtBs1 = 0xE3800;

ImageBuilder extended_image(std::uint16_t region_length = 0x1000) {
    ImageBuilder b(kExtLength);
    b.put(0, pseudo_random_bytes(kExtLength, 99));
    Bytes bios = stored_module("sys.rom", "5000:0", pseudo_random_bytes(0x8000, 100));
    base::copy_into(bios, 2, base::view_of("-lh5-"));
    b.put(0x200, bios);
    b.put_u16(kExtRegion + 10, region_length);
    b.put_bs1_record(kExtBs1, 0xFFFFFFFF);
    b.put_bootblock_record(0xEA000, 0x300D, 0x7001, 0xD000, 0xC00D, 0x02);
    b.fill(0xDC000, 1024, 0xFF);
    return b;
}

TEST(Finishing, ExtendedLayoutRecomputesTheBootblockChecksumByte) {
    const Bytes before = extended_image().bytes;
    const image::Layout l = layout_of(before);
    ASSERT_TRUE(l.extended_layout);
    ASSERT_EQ(l.checksum_block, 0xD4000u);
    ASSERT_EQ(l.image_checksum_word, 0xDC000u);
    ASSERT_EQ(l.system_bios_offset, 0x200u);
    const Finished after = finish(before, [](cli::Run& run) {
        run.component_mark = true;
        run.flags.ncpucode_placed = true;
        run.layout.ncpucode_offset = 0xF0000;
    });
    EXPECT_EQ(base::read_u32(after.bytes, kExtBs1 + 11), 0xFFFF0000u);
    EXPECT_EQ(after.bytes[kExtChecksumByte], sum_of(after.bytes, kExtRegion, kExtChecksumByte));
    EXPECT_NE(before[kExtChecksumByte], after.bytes[kExtChecksumByte]);
    EXPECT_EQ(after.bytes[0xD4000 + 4094], sum_of(after.bytes, 0x200, 0xD4000 + 4094));
    EXPECT_EQ(word_sum(after.bytes), 0u);
    EXPECT_EQ(byte_sum(after.bytes), 0u);
}

TEST(Finishing, ExtendedLayoutRecomputesTheBootblockChecksumByteWithoutBs1) {
    ImageBuilder b = extended_image();
    b.put_text(kExtBs1, "XXXX");
    const Finished after = finish(b.bytes, [](cli::Run& run) {
        run.component_mark = true;
        run.flags.ncpucode_placed = true;
        run.layout.ncpucode_offset = 0xF0000;
    });
    EXPECT_EQ(base::read_u32(after.bytes, kExtBs1 + 11), 0xFFFFFFFFu);
    EXPECT_EQ(after.bytes[kExtChecksumByte], sum_of(after.bytes, kExtRegion, kExtChecksumByte));
}

TEST(Finishing, ExtendedLayoutWithoutMicrocodeWorkLeavesTheBootblockChecksumByte) {
    const Bytes before = extended_image().bytes;
    const Finished after = finish(before, kAdded);
    EXPECT_EQ(after.bytes[kExtChecksumByte], before[kExtChecksumByte]);
    EXPECT_EQ(word_sum(after.bytes), 0u);
}

// Random images of several sizes, with and without the bootblock flag, with
// the checksum block and the balance area at random places of the window.
TEST(Finishing, PropertyBalancesHoldOverRandomImages) {
    for (std::uint32_t seed = 1; seed <= 48; ++seed) {
        const Bytes rnd = pseudo_random_bytes(16, seed * 31);
        const std::uint32_t sizes[] = {0x20000, 0x40000, 0x80000, 0x100000};
        const std::uint32_t length = sizes[seed % 4];
        const bool flag = (rnd[0] & 1) != 0;
        const std::uint16_t block_nibble = rnd[1] % 16;
        std::uint16_t balance_nibble = rnd[2] % 16;
        if (balance_nibble == 0xA) balance_nibble = 0xB;  // keep the records at window offset 0xA000
        const std::uint32_t bios_at = length >= 0x50000 ? 0x100u * (rnd[3] % 16) : 0;

        ImageBuilder b(length);
        b.put(0, pseudo_random_bytes(length, seed));
        Bytes bios =
            stored_module("sys.rom", "5000:0", pseudo_random_bytes(0x4000u + rnd[4] * 64u, seed + 1000));
        if (length >= 0x50000) base::copy_into(bios, 2, base::view_of("-lh5-"));
        b.put(bios_at, bios);
        const std::uint32_t window = length - 0x20000;
        b.put_bs1_record(window + 0xA000, 0xFFFFFFFF);
        b.put_bootblock_record(window + 0xA100, 0x1230, static_cast<std::uint16_t>(block_nibble << 12),
                               0xD000, static_cast<std::uint16_t>(balance_nibble << 12), flag ? 0x02 : 0x00);
        const std::uint32_t area = window + (balance_nibble << 12);
        const bool erased = (rnd[6] & 1) != 0 && area >= bios_at + bios.size();
        if (erased) b.fill(area, 1024, 0xFF);

        const image::Layout l = layout_of(b.bytes);
        ASSERT_EQ(l.system_bios_offset, bios_at) << seed;
        ASSERT_EQ(l.bootblock_flag, flag) << seed;
        const Finished after = finish(b.bytes, [&](cli::Run& run) {
            if (rnd[5] & 1)
                run.component_mark = true;
            else
                run.flags.modules_moved = true;
        });

        // The sum byte is always right: nothing is balanced where it sums.
        const std::uint64_t sum_at = std::uint64_t{l.checksum_block} + 4094;
        if (l.system_bios_offset < sum_at) {
            EXPECT_EQ(after.bytes[sum_at], sum_of(after.bytes, l.system_bios_offset, sum_at)) << seed;
        }
        const std::uint64_t balance_from = flag ? area : length - 0x20000 + 0x1E054;
        const std::uint64_t balance_to = balance_from + (flag ? 1024 : 2);
        const bool outside =
            balance_to <= std::min<std::uint64_t>(l.system_bios_offset, sum_at) || balance_from >= sum_at + 2;
        if (outside && (erased || !flag)) {
            EXPECT_EQ(word_sum(after.bytes), 0u) << seed;
            if (flag) {
                EXPECT_EQ(byte_sum(after.bytes), 0u) << seed;
            }
        } else if (flag) {
            EXPECT_TRUE(std::equal(after.bytes.begin() + area, after.bytes.begin() + area + 1024,
                                   b.bytes.begin() + area))
                << seed;
        }
    }
}

// Crafted layouts: finishing never writes outside the image; it stops the
// run (which then leaves the image file as it was) with a clear message.
TEST(Finishing, ChecksumBlockPastTheEndIsRefused) {
    EXPECT_EQ(
        refusal(normal_image().bytes,
                [](cli::Run& run) {
                    run.component_mark = true;
                    run.layout.checksum_block = kLength - 0x800;
                }),
        "The checksum block at 3F800h (1000h bytes) lies outside the image; the image is left unmodified.\n");
    // Also when only the microcode pointer would move the checksum bytes.
    EXPECT_EQ(refusal(normal_image().bytes,
                      [](cli::Run& run) {
                          run.component_mark = true;
                          run.flags.ncpucode_placed = true;
                          run.layout.ncpucode_offset = 0x34000;
                          run.layout.checksum_block = 0xFFFFF000;
                      }),
              "The checksum block at FFFFF000h (1000h bytes) lies outside the image; the image is left "
              "unmodified.\n");
}

TEST(Finishing, BalanceAreaPastTheEndIsRefused) {
    EXPECT_EQ(
        refusal(normal_image().bytes,
                [](cli::Run& run) {
                    run.component_mark = true;
                    run.layout.image_checksum_word = kLength - 0x200;
                }),
        "The balance area at 3FE00h (400h bytes) lies outside the image; the image is left unmodified.\n");
    EXPECT_EQ(refusal(normal_image().bytes,
                      [](cli::Run& run) {
                          run.component_mark = true;
                          run.layout.image_checksum_word = 0xFFFFFF00;
                      }),
              "The balance area at FFFFFF00h (400h bytes) lies outside the image; the image is left "
              "unmodified.\n");
}

TEST(Finishing, MarkedBalanceAreaAtTheEndNeedNotFitWhole) {
    ImageBuilder b = normal_image();
    b.put_text(kLength - 4, "IMD$");
    const Finished after = finish(b.bytes, [](cli::Run& run) {
        run.component_mark = true;
        run.layout.image_checksum_word = kLength - 4;
    });
    EXPECT_TRUE(subset(changed_offsets(b.bytes, after.bytes), {kSumByte, kFollowerByte}));
}

TEST(Finishing, OddBalanceWordIsRefused) {
    ImageBuilder b = normal_image();
    b.fill(kBalanceOutside, 2048, 0xFF);
    EXPECT_EQ(
        refusal(b.bytes,
                [](cli::Run& run) {
                    run.component_mark = true;
                    run.layout.image_checksum_word = kBalanceOutside + 1;
                }),
        "The balance word at 2F001h is not on a word boundary, so the image cannot be balanced; the image is "
        "left unmodified.\n");
}

TEST(Finishing, SpecialAreasPastTheEndAreRefused) {
    EXPECT_EQ(refusal(normal_image().bytes,
                      [](cli::Run& run) {
                          run.flags.top_hole_released = true;
                          run.layout.top_hole_start = kLength - 0x10;
                          run.layout.top_hole_size = 0x10;
                      }),
              "The top hole at 3FFF0h (30h bytes) lies outside the image; the image is left unmodified.\n");
    EXPECT_EQ(
        refusal(normal_image().bytes,
                [](cli::Run& run) {
                    run.flags.top_hole_released = true;
                    run.layout.top_hole_start = 0x100;
                    run.layout.top_hole_size = 0xFFFFFFFF;
                }),
        "The top hole at 100h (10000001Fh bytes) lies outside the image; the image is left unmodified.\n");
    EXPECT_EQ(
        refusal(normal_image().bytes,
                [](cli::Run& run) {
                    run.flags.ncpucode_released = true;
                    run.layout.ncpucode_present = true;
                    run.layout.ncpucode_offset = kLength - 0x10;
                    run.layout.ncpucode_size = 0;
                }),
        "The microcode area at 3FFF0h (20h bytes) lies outside the image; the image is left unmodified.\n");
}

TEST(Finishing, UnusableBootblockChecksumRegionIsRefused) {
    const auto placed = [](cli::Run& run) {
        run.component_mark = true;
        run.flags.ncpucode_placed = true;
        run.layout.ncpucode_offset = 0xF0000;
    };
    EXPECT_EQ(refusal(extended_image(0).bytes, placed),
              "The bootblock record \"*BBSS*\" names a checksum region outside its window; the image is left "
              "unmodified.\n");
    EXPECT_EQ(refusal(extended_image(0xD001).bytes, placed),
              "The bootblock record \"*BBSS*\" names a checksum region outside its window; the image is left "
              "unmodified.\n");
}

// An odd image length: the last byte counts as the low byte of a word. The
// fixed balance word then lies at an odd offset and cannot balance; a
// balance word on a word boundary still can.
TEST(Finishing, OddImageLength) {
    ImageBuilder b(kLength + 1);
    b.put(0, pseudo_random_bytes(kLength + 1, 5));
    b.put(0, stored_module("sys.rom", "5000:0", pseudo_random_bytes(0x8000, 6)));
    b.put_bootblock_record(kBbss + 1, 0x1230, 0xE000, 0xD000, 0xC000, 0x00);
    EXPECT_EQ(
        refusal(b.bytes, kAdded),
        "The balance word at 3E055h is not on a word boundary, so the image cannot be balanced; the image is "
        "left unmodified.\n");

    // Above the checksum block, which here sums up to 0x2F000.
    b.fill(kBalanceOutside + 0x400, 1024, 0xFF);
    const Finished after = finish(b.bytes, [](cli::Run& run) {
        run.component_mark = true;
        run.layout.bootblock_flag = true;
        run.layout.image_checksum_word = kBalanceOutside + 0x400;
    });
    EXPECT_EQ(word_sum(after.bytes), 0u);
    EXPECT_EQ(byte_sum(after.bytes), 0u);
}

}  // namespace
}  // namespace kitra::regions
