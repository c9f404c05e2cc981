#include "listing/listing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "support/captured_console.h"
#include "support/image_builder.h"

namespace kitra::listing {

using base::Bytes;
using base::ByteView;
using base::write_u32;
using image::discover_layout;
using image::Layout;
namespace {

using testing::ImageBuilder;
using testing::stored_module;

std::string listing_of(const Bytes& bytes, const std::string& name = "bios.bin") {
    auto found = discover_layout(bytes, 0, false);
    EXPECT_TRUE(std::holds_alternative<Layout>(found));
    testing::CapturedConsole c;
    print_listing(bytes, std::get<Layout>(found), name, c.con);
    return c.out();
}

const std::string kHead =
    "\n              ********     bios.bin BIOS component ********\n\n"
    " No. Item-Name         Original-Size   Compressed-Size Original-File-Name \n" +
    std::string(80, '=');
// The microcode table of an image without microcode: its title and head.
const std::string kNoMicrocode =
    "\n                          ** Micro Code Information **\n"
    "Update ID  CPUID  | Update ID  CPUID   | Update ID  CPUID   | Update ID  CPUID  \n"
    "------------------+--------------------+--------------------+-------------------";

// 256 KiB: system BIOS "sys.rom" at 0 (0x100 bytes stored), "*BBSS*" giving
// the compressed-area limit 0x2E000.
ImageBuilder base_image() {
    ImageBuilder b(256 * 1024);
    b.put(0, stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    b.put_bootblock_record(0x20100, 0, 0x1000, 0xE000, 0x2000);
    return b;
}

TEST(Listing, OnlyTheSystemBios) {
    EXPECT_EQ(listing_of(base_image().bytes),
              kHead +
                  "  0. System BIOS       00100h(0.25K) 10000h(64.00K) sys.rom\n"
                  "\n  Total compress code space  = 2E000h(184.00K)\n"
                  "  Total compressed code size = 10000h(64.00K)\n"
                  "  Remain compress code space = 1E000h(120.00K)\n" +
                  kNoMicrocode);
}

TEST(Listing, SystemBiosRowCountsAtLeast64KAndOneMoreAbove) {
    ImageBuilder b(256 * 1024);
    // H + packed size + 3 = 0x12345: shown as 0x12346.
    b.put(0, stored_module("sys.rom", "5000:0", Bytes(0x12345 - 32 - 3, 0)));
    b.put_bootblock_record(0x20100, 0, 0x1000, 0xE000, 0x2000);
    const std::string text = listing_of(b.bytes);
    EXPECT_NE(text.find("System BIOS       12322h(72.78K) 12346h(72.82K) sys.rom\n"), std::string::npos)
        << text;
}

TEST(Listing, ModulesOfEveryFamilyThenStopAtErasedPackedSize) {
    ImageBuilder b = base_image();
    std::uint64_t at = 0x10000;
    const char* types[] = {"4080:0", "409F:0", "40A7:0", "40C9:0", "402E:0", "3010:0", "8000:0", "4001:0"};
    for (const char* type : types) at = b.put_module(at, stored_module("a.rom", type, Bytes(0x10, 1)));
    // A header reading "-lh" with the erased packed size ends the walk.
    Bytes erased = stored_module("b.rom", "4000:0", "x");
    write_u32(erased, 7, 0xFFFFFFFF);
    b.put(at, erased);
    const std::string row = "  00010h(0.02K)    00031h(0.05K)   a.rom\n";
    EXPECT_EQ(listing_of(b.bytes), kHead +
                                       "  0. System BIOS       00100h(0.25K) 10000h(64.00K) sys.rom\n"
                                       "  1. VGA ROM[1]      " +
                                       row + "  2. PCI ROM[Z]      " + row + "  3. ISA ROM[4]      " + row +
                                       "  4. ACPI SDT ROM[J] " + row + "  5. GROUP ROM[ 5]   " + row +
                                       "  6. Other(3010:0000)" + row + "  7. Other(8000:0000)" + row +
                                       "  8. CPU micro code  " + row +
                                       "\n  Total compress code space  = 2E000h(184.00K)\n"
                                       "  Total compressed code size = 10188h(64.38K)\n"
                                       "  Remain compress code space = 1DE78h(119.62K)\n" +
                                       kNoMicrocode);
}

// A microcode area and a top hole, each data followed by its 32-byte trailer.
ImageBuilder special_areas(std::uint32_t ncpu_at, std::uint32_t hole_at) {
    ImageBuilder b = base_image();
    b.put_bs1_record(0x3F000 - 0x100, 0xFFFC0000 + ncpu_at, 0x10);  // on a 4-byte step for the top hole
    b.put_trailer(ncpu_at + 0x800, "*ALIN16*", 0x800, "NCPUCODE.BIN");
    b.put_trailer(hole_at + 0x2000, "$TopHole", 0x2000, "TOP_HOLE.BIN");
    return b;
}

TEST(Listing, SpecialAreasInAddressOrderWithTheWastedSpace) {
    const std::string hole_first =
        "(SP) TOPHOLE           02000h(8.00K)    02000h(8.00K)   TOP_HOLE.BIN\n"
        "(SP) NCPUCODE          00800h(2.00K)    00800h(2.00K)   NCPUCODE.BIN\n";
    const std::string ncpu_first =
        "(SP) NCPUCODE          00800h(2.00K)    00800h(2.00K)   NCPUCODE.BIN\n"
        "(SP) TOPHOLE           02000h(8.00K)    02000h(8.00K)   TOP_HOLE.BIN\n";
    const std::string bios_row = "  0. System BIOS       00100h(0.25K) 10000h(64.00K) sys.rom\n";
    EXPECT_EQ(listing_of(special_areas(0x2D000, 0x2A000).bytes),
              kHead + bios_row + hole_first +
                  "\n  Total compress code space  = 2E000h(184.00K)\n"
                  "  Total compressed code size = 12840h(74.06K)\n"
                  "  Remain compress code space = 1A000h(104.00K)\n"
                  "  Top Hole wasted code space = 00FE0h(3.97K)\n" +
                  kNoMicrocode);
    EXPECT_EQ(listing_of(special_areas(0x28000, 0x2A000).bytes),
              kHead + bios_row + ncpu_first +
                  "\n  Total compress code space  = 2E000h(184.00K)\n"
                  "  Total compressed code size = 12840h(74.06K)\n"
                  "  Remain compress code space = 18000h(96.00K)\n"
                  "  Top Hole wasted code space = 01FE0h(7.97K)\n" +
                  kNoMicrocode);
}

TEST(Listing, BootblockVgaRowOnBoardLineAndArenaSection) {
    ImageBuilder b = base_image();
    // "*BT-VGA*" line pointing into the last 64 KiB at 0x100, followed by a ROM start.
    b.put_text(0x20400, "*BT-VGA*").put_u16(0x20408, 0x0100);
    b.put(0x20410, Bytes{0x55, 0xAA, 0x00, 0x00});
    b.put(0x30100, stored_module("vga.rom", "4000:0", Bytes(0x40, 2)));
    // Arena of 0x200 bytes after its line, two modules.
    b.put_text(0x21000, "BTKITRAARENA").put_u16(0x2100C, 0x200);
    std::uint64_t at = b.put_module(0x21010, stored_module("mem.bin", "3010:0", Bytes(0x20, 3)));
    b.put_module(at, stored_module("pe.bin", "3012:0", Bytes(0x20, 4)));
    EXPECT_EQ(listing_of(b.bytes),
              kHead +
                  "  0. System BIOS       00100h(0.25K) 10000h(64.00K) sys.rom\n"
                  "\n(BB) Compress BT-VGA   00040h(0.06K)    00063h(0.10K)   vga.rom\n"
                  "  Total compress code space  = 2E000h(184.00K)\n"
                  "  Total compressed code size = 10000h(64.00K)\n"
                  "  Remain compress code space = 1E000h(120.00K)\n"
                  "\n ****** On Board VGA ROM In BootBlock ******\n"
                  "\n              ********     bios.bin Bootblock component ********\n\n"
                  " No. Item-Name         Original-Size   Compressed-Size Original-File-Name \n" +
                  std::string(80, '=') +
                  "  1. MEM INIT IN BB    00020h(0.03K) 00043h(0.07K) mem.bin\n"
                  "  2. 2 PE32 IN BB    00020h(0.03K)      00042h(0.06K)   pe.bin\n" +
                  kNoMicrocode);
}

TEST(Listing, CraftedChainsListWhatTheyCanAndStop) {
    for (std::uint32_t seed = 1; seed < 30; ++seed) {
        ImageBuilder b = base_image();
        Bytes junk = testing::pseudo_random_bytes(0x400, seed);
        junk[2] = '-', junk[3] = 'l', junk[4] = 'h';
        b.put(0x10000, junk);
        b.put_text(0x21000, "BTKITRAARENA").put_u16(0x2100C, static_cast<std::uint16_t>(seed * 977));
        b.put(0x21010, junk);
        b.put_text(0x20400, "*BT-VGA*").put_u16(0x20408, static_cast<std::uint16_t>(0xFFF0 + seed));
        EXPECT_FALSE(listing_of(b.bytes).empty());
    }
}

}  // namespace
}  // namespace kitra::listing
