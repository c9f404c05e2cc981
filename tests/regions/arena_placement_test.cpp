// Memory-sizing and PE32 modules in the bootblock arena, through the built
// tool: placed aligned and rebased, referenced, replaced, released and
// extracted, and refused without room.
#include <gtest/gtest.h>

#include "codec/module_header.h"
#include "platform/files.h"
#include "regions/patcher_image.h"
#include "support/run_kitra.h"
#include "support/test_data.h"

namespace kitra::regions {
namespace {

using namespace testing_support;
using kitra::testing::Outcome;
using kitra::testing::pe_reloc_at;
using kitra::testing::stored_module;
using kitra::testing::test_data;

const std::string kBanner = "kitra V1.99 [02/12/2010]\n";
const std::string kPacked = "Adding m.efi  100.0%\n";

// The arena line at 0x3C050, so the arena starts at 0x3C060: a header of 32
// bytes (the name "m.efi") there puts the data on a 128-byte boundary. A
// bootblock FixupDescriptor table (kind 1: entry point at 0x32000, module
// address at 0x32010) and a "MEMINITENTRYPOINT" at 0x33000. Finishing writes
// only below the bootblock.
constexpr std::uint64_t kArena = 0x3C060;
constexpr std::uint64_t kFixups = 0x31000;
constexpr std::uint64_t kMemInit = 0x33000;

ImageBuilder arena_image(std::uint16_t arena_length = 0x2000) {
    ImageBuilder b = patcher_image();
    b.put(0, stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    b.put_bootblock_record(kBs1 + 0x100, kWord, 0xF000, 0xE000, 0xE000, 0x02);
    b.put_text(kArena - 16, "BTKITRAARENA").put_u16(kArena - 4, arena_length);
    const std::uint8_t table[] = {0, 9, 2, 0, 0, 0, 1, 0, 1, 0x00, 0x20, 1, 0x10, 0x20, 1};
    b.put_text(kFixups, "FixupDescriptor").put(kFixups + 15, table);
    b.put_text(kMemInit, "MEMINITENTRYPOINT");
    seal(b.bytes);
    return b;
}

struct Session {
    kitra::testing::TempDir dir;
    explicit Session(const Bytes& image) {
        EXPECT_TRUE(platform::write_file(dir.file("img.bin"), image));
        EXPECT_TRUE(platform::write_file(dir.file("m.efi"), test_data("pe32/pe_reloc.efi")));
        EXPECT_TRUE(platform::write_file(dir.file("h.efi"), test_data("pe32/ht_noreloc.efi")));
    }
    Outcome run(std::vector<std::string> args) {
        args.insert(args.begin(), "img.bin");
        return kitra::testing::run_kitra(args, dir.path);
    }
    Bytes image() const { return *platform::read_file(dir.file("img.bin")); }
};

// Checks the module at `at`: its type, its pad, and its data rebased.
void expect_placed(const Bytes& image, std::uint64_t at, std::uint16_t type, std::uint8_t pad) {
    const auto m = codec::module_at(image, at);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->type_id, type);
    EXPECT_EQ(image[at + m->header_size], pad);
    EXPECT_EQ(m->packed_size, 0xE00u + pad);
    const std::uint64_t data = at + m->header_size + 2 + pad;
    const Bytes expected = pe_reloc_at(static_cast<std::uint32_t>(data - kLength));
    EXPECT_TRUE(
        std::equal(expected.begin(), expected.end(), image.begin() + static_cast<std::ptrdiff_t>(data)));
}

TEST(ArenaPlacement, PlacedReplacedReleasedAndExtracted) {
    Session s(arena_image().bytes);
    EXPECT_EQ(s.run({"/BTMEM", "m.efi"}).out, kBanner + kPacked);
    expect_placed(s.image(), kArena, 0x3010, 16);  // data on a boundary get a whole unit of pad
    s.run({"/1PE32B", "m.efi"});
    // The same type again: the old one goes, the PE32 module moves down and
    // is made again for its new place, the new one goes behind it and stays
    // though it is the item's error.
    const Outcome o = s.run({"/BTMEM", "m.efi", "/err"});
    EXPECT_EQ(o.out, kBanner + kPacked + "CAUTION : This [m.efi] Memory sizing module Exist in BB\n" +
                         "\n!!! Combine BTMEM have some error.\n");
    EXPECT_EQ(o.status, 117);
    const Bytes image = s.image();
    // Kept, so finished: the checksum block at 0x2F000 sums from the system
    // BIOS; its balance area at 0x2E000 lies in that range and is not written.
    EXPECT_EQ(image[0x2F000 + 4094], base::sum8(base::slice(image, 0, 0x2F000 + 4094)));
    expect_placed(image, kArena, 0x3011, 128);
    EXPECT_EQ(base::read_u32(image, 0x32000), 0xFFFFC100u + 0x400);
    EXPECT_EQ(base::read_u32(image, 0x32010), 0xFFFFC100u);
    expect_placed(image, 0x3CF01, 0x3010, 15);  // past the separator byte at 0x3CF00
    EXPECT_EQ(base::read_u32(image, kMemInit + 17), 0xFFFFCF30u + 0x400);

    EXPECT_EQ(s.run({"/1PE32B", "extract", "out.efi"}).out, kBanner + "[1PE32B] ROM is extracted to out.efi");
    EXPECT_EQ(*platform::read_file(s.dir.file("out.efi")), pe_reloc_at(0xFFFFC100));
    EXPECT_EQ(s.run({"/1PE32B", "release"}).out, kBanner + "[1PE32B] ROM is release\n");
    EXPECT_EQ(s.run({"/2PE32B", "release"}).out, kBanner + "Can't found [2PE32B] ROM...\n");
    const Bytes after = s.image();
    expect_placed(after, kArena, 0x3010, 16);
    EXPECT_EQ(base::read_u32(after, kMemInit + 17), 0xFFFFC090u + 0x400);
    EXPECT_TRUE(std::all_of(after.begin() + kArena + 0xE31, after.begin() + kArena + 0x2000,
                            [](auto x) { return x == 0xFF; }));
}

TEST(ArenaPlacement, NoArenaOrNoRoomChangesNothing) {
    Session none(patcher_image().bytes);
    EXPECT_EQ(none.run({"/BTMEM", "m.efi"}).out,
              kBanner + kPacked + "img.bin have no bootblock kitra arena define.\n\n");
    EXPECT_EQ(none.image(), patcher_image().bytes);

    const std::string no_room = "img.bin have not enough space for adding ROM in bootblock.\n\n";
    // The walk reaches arena end - 64 behind a small module: no room even
    // for a small one.
    ImageBuilder full = arena_image(34 + 64);
    full.put_module(kArena, stored_module("x.bin", "3020:0", "x"));
    Session walk(full.bytes);
    EXPECT_EQ(walk.run({"/BTMEM", "h.efi"}).out, kBanner + "Adding h.efi  100.0%\n" + no_room);
    EXPECT_EQ(walk.image(), full.bytes);

    // Every byte written counts: header, pad and all the data.
    for (const std::uint16_t length : {0x830, 0x82F}) {
        Session t(arena_image(length).bytes);
        EXPECT_EQ(t.run({"/BTMEM", "h.efi"}).out,
                  kBanner + "Adding h.efi  100.0%\n" + (length == 0x830 ? "" : no_room));
    }

    // Room for the memory-sizing module it replaces, but not for the new
    // one: the removal is undone too.
    Session s(arena_image(0x0C00).bytes);
    s.run({"/BTMEM", "h.efi"});
    const Bytes before = s.image();
    const Outcome o = s.run({"/BTMEM", "m.efi", "/err"});
    EXPECT_EQ(o.out, kBanner + kPacked + "CAUTION : This [m.efi] Memory sizing module Exist in BB\n" +
                         no_room + "\n!!! Combine BTMEM have some error.\n");
    EXPECT_EQ(s.image(), before);
}

}  // namespace
}  // namespace kitra::regions
