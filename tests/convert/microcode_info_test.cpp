// The microcode table at the end of the listing: Intel updates and AMD
// patches made here with valid checksums, in the bootblock's area, the CPU
// microcode module and the non-compressed area.
#include "convert/microcode_info.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/captured_console.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"

namespace kitra::convert {
namespace {

using base::Bytes;
using base::read_u32;
using base::write_u32;
using testing::ImageBuilder;
using testing::stored_module;

// Random bytes under the given header words; the word at `sum_at` then makes
// the words in [from, to) sum to 0 (Intel) or holds their sum (AMD).
Bytes record(std::vector<std::uint32_t> header, std::size_t length, std::uint64_t sum_at, std::uint64_t from,
             std::uint64_t to, bool negate) {
    Bytes r = testing::pseudo_random_bytes(length, header[1] + header[3]);
    for (std::size_t i = 0; i < header.size(); ++i) write_u32(r, i * 4, header[i]);
    std::uint32_t sum = 0;
    for (std::uint64_t off = from; off < to; off += 4) sum += off == sum_at ? 0 : read_u32(r, off);
    write_u32(r, sum_at, negate ? 0u - sum : sum);
    return r;
}
Bytes intel_update(std::uint8_t flags, std::uint32_t signature, std::uint8_t revision,
                   std::uint32_t total = 0, std::size_t length = 2048) {
    return record({1, 0x100u | revision, 0x07152003, signature, 0, 1, flags, 0, total}, length, 16, 0, length,
                  true);
}
Bytes amd_patch(std::uint32_t id, std::uint32_t north, std::uint32_t south, std::uint32_t revision) {
    return record({0x20100315, id, 0x8001, 0, north, south, revision}, 2048, 12, 64, 1856, false);
}
Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// 256 KiB: the system BIOS at 0, the chain from 0x10000; "*BBSS*" at 0x20100
// whose microcode word puts the bootblock's area at 0x20800; "*BS1" at
// 0x2A100 (on the bridge search's 4-byte step) pointing at `ncpu_address`.
constexpr std::uint64_t kBootArea = 0x20800;
ImageBuilder base_image(std::uint32_t ncpu_address = 0) {
    ImageBuilder b(0x40000);
    b.put(0, stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    b.put_bootblock_record(0x20100, 0, 0x1000, 0xE000, 0x2000).put_u16(0x20100 + 33, 0x0800);
    if (ncpu_address != 0) b.put_bs1_record(0x2A100, ncpu_address);
    return b;
}

const std::string kTitle = "\n                          ** Micro Code Information **\n";
const std::string kIntelHead =
    "Update ID  CPUID  | Update ID  CPUID   | Update ID  CPUID   | Update ID  CPUID  \n"
    "------------------+--------------------+--------------------+-------------------";
const std::string kBridgeId =
    "    Bridge ID                          |     Bridge ID                         \n";
const std::string kTwoColumnRule =
    "---------------------------------------+----------------------------------------";

// The table as the built tool prints it to a pipe, from its title on; the
// directory is left holding the image alone.
std::string table_through_the_tool(const Bytes& image) {
    testing::TempDir dir;
    EXPECT_TRUE(platform::write_file(dir.file("bios.bin"), image));
    const testing::Outcome o = testing::run_kitra({"bios.bin", "/D"}, dir.path);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(dir.files(), std::vector<std::string>{"bios.bin"});
    return o.out.substr(std::min(o.out.find(kTitle), o.out.size()));
}

std::string table_of(const Bytes& image) {
    testing::CapturedConsole c;
    print_microcode_table(image, std::get<image::Layout>(image::discover_layout(image, 0, false)), c.con);
    return c.out();
}

TEST(MicrocodeTable, IntelUpdatesFromTheThreePlacesInOrder) {
    ImageBuilder b = base_image(0xFFFDC000);  // the non-compressed area at 0x1C000
    b.put(kBootArea, join({intel_update(0x10, 0x00000F29, 0x1A), intel_update(0x10, 0x00000686, 0x0C)}));
    // 2048-byte records, whatever their total sizes say; a blank one is no AMD patch.
    b.put_module(0x10000,
                 stored_module("CPUCODE.BIN", "4001:0",
                               join({intel_update(0x20, 0x00000652, 0x2D),
                                     intel_update(0x02, 0x00000F12, 0x0E, 0x1000), Bytes(2048, 0)})));
    // 4096 bytes by their total size, 2048 by a total size of 0, then the end.
    b.put(0x1C000,
          join({intel_update(0x04, 0x00000F24, 0x11, 0x1000, 0x1000), intel_update(0x08, 0x06B1, 0x22)}));
    b.put_trailer(0x1E000, "*ALIN16*", 0x2000, "NCPUCODE.BIN");
    // Through a pipe the first entry follows the rule on its line.
    EXPECT_EQ(table_through_the_tool(b.bytes),
              kTitle + kIntelHead +
                  "PGA423 1A 00000F29 | PPGA   0C 00000686 | SLOT1  2D 00000652 | SERVER 0E 00000F12\n"
                  "PGA478 11 00000F24| MOBILE 22 000006B1 | ");
}

TEST(MicrocodeTable, AmdPatchesWithAndWithoutBridgeIdsUnderTheAmdHead) {
    ImageBuilder b = base_image();
    // The bootblock's list ends at a record beginning 0x00.
    b.put(kBootArea, join({amd_patch(0x0123, 0x1022, 0x1106, 0x0F4A), amd_patch(0x0456, 0, 0, 0x0F5A),
                           Bytes(2048, 0), amd_patch(0x0789, 0, 0, 0x0F6A)}));
    EXPECT_EQ(table_through_the_tool(b.bytes),
              kTitle + kBridgeId +
                  " North    South     Update ID  CPUID   |  North    South     Update ID  CPUID  \n" +
                  kTwoColumnRule + "00001022 00001106    0123   00000F4A |     0456   00000F5A\n");
}

TEST(MicrocodeTable, BridgeLayoutShowsEveryWholeRecordOfTheAreaOnly) {
    // "*BS1" whose byte +11 has the low bits 001; its area at 0x1C001 holds
    // two records and a piece. The bootblock's area is not read.
    ImageBuilder b = base_image(0xFFFDC001);
    b.put(kBootArea, intel_update(0x10, 0x00000F29, 0x1A));
    b.put(0x1C001, join({amd_patch(0x01000083, 0x10DE005E, 0x10DE0050, 0x0F48),
                         amd_patch(0x010000C6, 0x10DE0369, 0x10DE0360, 0x40F12), Bytes(0x400, 0x11)}));
    b.put_trailer(0x1D401, "*ALIN16*", 0x1400, "NCPUCODE.BIN");
    EXPECT_EQ(table_through_the_tool(b.bytes),
              kTitle + kBridgeId +
                  " North    South     Patch  ID  CPUID   |  North    South     Patch  ID  CPUID  \n" +
                  kTwoColumnRule +
                  "10DE005E 10DE0050   01000083 00000F48 | 10DE0369 10DE0360   010000C6 00040F12\n");
}

TEST(MicrocodeTable, BootblockAreaOfLargeImagesInThePieceOfTheChecksumWord) {
    // 512 KiB, "*BBSS*" in the window at 0x60000: the plain layout takes the
    // window's piece, the extended one the piece word +18 names.
    for (const auto& [layout_word, checksum_word, area] :
         {std::tuple{0x1000, 0x3000, 0x64500}, std::tuple{0x7001, 0x5007, 0x74500}}) {
        ImageBuilder b(0x80000);
        Bytes bios = stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11));
        bios[5] = '5';  // a large image's system BIOS is found by its "-lh5-"
        b.put(0, bios).put_bootblock_record(0x60100, 0, layout_word, 0xE000, checksum_word);
        b.put_u16(0x60100 + 33, 0x4512).put(area, intel_update(0x10, 0x00000F29, 0x1A));
        EXPECT_EQ(table_of(b.bytes), kTitle + kIntelHead + "PGA423 1A 00000F29 | ") << layout_word;
    }
}

TEST(MicrocodeTable, BlankOrUnrecordedBootblockAreaListsNothing) {
    // A blank area is no AMD patch: the Intel head stays.
    ImageBuilder b = base_image();
    b.fill(kBootArea, 0x4000, 0x00);
    EXPECT_EQ(table_of(b.bytes), kTitle + kIntelHead);
    // No "*BBSS*": the area is not read.
    b.put_text(0x20100, "*BBSX*").put(kBootArea, intel_update(0x10, 0x00000F29, 0x1A));
    EXPECT_EQ(table_of(b.bytes), kTitle + kIntelHead);
}

TEST(MicrocodeTable, RecordsCutShortOrSizedPastTheirAreaAreNotRead) {
    ImageBuilder b = base_image(0xFFFDB000);  // the non-compressed area at 0x1B000
    // The bootblock's area reaches the image's end 0x400 bytes into its 33rd record.
    b.put_u16(0x20100 + 33, 0xFC00);
    for (std::uint64_t at = 0x2FC00; at < 0x40000; at += 2048)
        b.put(at, base::clipped(intel_update(0x10, 0x00000F29, 0x1A), 0, 0x40000 - at));
    // An area of 0x2000 bytes (its size is the word after "*ALIN16*"): a
    // record, then an update whose total size of 0x4000 reaches past the area.
    b.put(0x1B000,
          join({intel_update(0x08, 0x000006B1, 0x22), intel_update(0x04, 0x0F24, 0x33, 0x4000, 0x4000)}));
    b.put_trailer(0x1F800, "*ALIN16*", 0x2000, "NCPUCODE.BIN");

    const std::string text = table_of(b.bytes);
    std::size_t entries = 0;
    for (std::size_t at = text.find("PGA423"); at != std::string::npos; at = text.find("PGA423", at + 1))
        ++entries;
    EXPECT_EQ(entries, 32u);
    EXPECT_NE(text.find("MOBILE 22 000006B1"), std::string::npos);
    EXPECT_EQ(text.find("PGA478"), std::string::npos);
}

TEST(MicrocodeTable, CraftedWordsAndSizesNeverReadOutsideTheImage) {
    for (std::uint32_t seed = 1; seed < 40; ++seed) {
        const Bytes junk = testing::pseudo_random_bytes(0x3000, seed);
        ImageBuilder b = base_image(0xFFFC0000 + read_u32(junk, 0) % 0x40000);
        b.put_u16(0x20100 + 33, static_cast<std::uint16_t>(read_u32(junk, 4)));
        b.put_module(0x10000, stored_module("CPUCODE.BIN", "4001:0", base::clipped(junk, 0, seed * 97)));
        b.put(0x20800, junk).put(0x3D000, junk);
        b.put_trailer(0x3C000, "*ALIN16*", read_u32(junk, 8), "NCPUCODE.BIN");
        EXPECT_NO_THROW(table_of(b.bytes)) << seed;
    }
}

}  // namespace
}  // namespace kitra::convert
