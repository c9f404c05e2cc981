// The microcode commands through the built tool: the listing of the three
// places, adding and removing single updates, and every refusal, with exact
// output, exit status and image bytes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "codec/module_header.h"
#include "platform/files.h"
#include "support/external_program.h"
#include "support/image_builder.h"
#include "support/microcode_builder.h"
#include "support/run_kitra.h"

namespace kitra::microcode {
namespace {

using base::Bytes;
using testing::ImageBuilder;
using testing::IntelUpdateFields;
using testing::joined;
using testing::stored_module;

constexpr std::uint64_t kImageSize = 0x40000;
constexpr std::uint64_t kChain = 0x10000;     // the walk start
constexpr std::uint64_t kAreaEnd = 0x20000;   // the compressed area's end
constexpr std::uint64_t kBootArea = 0x20800;  // the bootblock's microcode area
constexpr std::uint64_t kBs1 = 0x2A100;       // "*BS1", pointing at the uncompressed area

// 256 KiB: a stored system BIOS at 0, the chain from 0x10000 up to 0x20000,
// "*BBSS*" whose microcode word points at 0x20800, and "*BS1".
ImageBuilder base_image() {
    ImageBuilder b(kImageSize);
    b.put(0, stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    b.put_bootblock_record(0x20100, 0, 0xF000, 0x0000, 0xE000).put_u16(0x20100 + 33, 0x0800);
    b.put_bs1_record(kBs1, 0);
    return b;
}

// The uncompressed area holding `data` at the top of the compressed area.
void put_area(ImageBuilder& b, const Bytes& data) {
    const std::uint64_t start = kAreaEnd - data.size() - 32;
    b.put(start, data)
        .put_trailer(start + data.size(), "*ALIN16*", static_cast<std::uint32_t>(data.size()),
                     "NCPUCODE.BIN");
    b.put_u32(kBs1 + 11, static_cast<std::uint32_t>(start - kImageSize));
}

Bytes intel(std::uint32_t cpuid, std::uint32_t revision, std::uint32_t mask = 0x10,
            std::uint32_t date = 0x05122000) {
    return testing::intel_update({.cpuid = cpuid, .platform_mask = mask, .revision = revision, .date = date});
}

struct Fixture {
    testing::TempDir dir;
    void write(const std::string& name, const Bytes& bytes) {
        ASSERT_TRUE(platform::write_file(dir.file(name), bytes));
    }
    void write(const std::string& name, const std::string& text) {
        write(name, Bytes(text.begin(), text.end()));
    }
    Bytes image() { return *platform::read_file(dir.file("bios.bin")); }
    testing::Outcome run(std::vector<std::string> args) {
        args.insert(args.begin(), "bios.bin");
        return testing::run_kitra(args, dir.path);
    }
};

// Every place holding updates, with every note: a damaged update in the
// bootblock's area, a module that begins with a table of pointers (the /D
// table reads none of its updates), an area with a newer revision.
Bytes every_place() {
    ImageBuilder b = base_image();
    Bytes damaged = intel(0x6A0, 0x03, 0x01, 0x01312000);
    damaged[300] ^= 0x01;
    b.put(kBootArea, joined({intel(0x686, 0x0A), intel(0xF29, 0x2E, 0x04, 0x07152003), damaged}));
    const Bytes ext = testing::intel_update({.cpuid = 0x6B1,
                                             .platform_mask = 0x10,
                                             .revision = 0x1D,
                                             .date = 0x06112001,
                                             .total_size = 4096,
                                             .extended = {{0x6B4, 0x20}}});
    b.put_module(
        kChain,
        stored_module("CPUCODE.BIN", "4001:0",
                      joined({Bytes(64, 0x00), ext, testing::amd_patch(0x48, 0x0F4A, 0x1022, 0x1106)})));
    put_area(b, joined({intel(0x686, 0x0C, 0x14), intel(0x686, 0x0A)}));
    return b.bytes;
}

TEST(MicrocodeListing, EveryPlaceWithItsUpdatesNotesAndOtherBytes) {
    Fixture f;
    f.write("bios.bin", every_place());
    const auto o = f.run({"--microcode"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(
        o.out,
        "CPU microcode of bios.bin\n"
        "  bootblock     area at 00020800h, 6144 bytes before its first blank record: 3 updates\n"
        "  module        \"CPUCODE.BIN\" at 00010000h, 6208 bytes unpacked: 2 updates\n"
        "                00000h-0003Fh (64 bytes) are not updates\n"
        "  uncompressed  area at 0001EFE0h, 4096 bytes: 2 updates\n"
        "\n"
        "  #  Place         Offset  Vendor  CPUID     F-M-S     Platform IDs  Revision  Date        Size   "
        "Checksum\n"
        "  1  bootblock     00000h  Intel   00000686  06-08-06  4             0000000A  2000-05-12  2048   "
        "holds\n"
        "     superseded by #6\n"
        "  2  bootblock     00800h  Intel   00000F29  0F-02-09  2             0000002E  2003-07-15  2048   "
        "holds\n"
        "  3  bootblock     01000h  Intel   000006A0  06-0A-00  0             00000003  2000-01-31  2048   "
        "FAILS\n"
        "  4  module        00040h  Intel   000006B1  06-0B-01  4             0000001D  2001-06-11  4096   "
        "holds\n"
        "     also for CPUID 000006B4 (06-0B-04), platform IDs 5\n"
        "     not in the /D table: it starts where the table reads no record\n"
        "  5  module        01040h  AMD     00000F4A  -         -             00000048  -           2048   "
        "holds\n"
        "     bridge IDs: north 00001022, south 00001106\n"
        "     not in the /D table: it starts where the table reads no record\n"
        "  6  uncompressed  00000h  Intel   00000686  06-08-06  2,4           0000000C  2000-05-12  2048   "
        "holds\n"
        "  7  uncompressed  00800h  Intel   00000686  06-08-06  4             0000000A  2000-05-12  2048   "
        "holds\n"
        "     duplicate of #1\n"
        "     superseded by #6\n");
}

TEST(MicrocodeListing, JsonGivesTheSameAsData) {
    Fixture f;
    ImageBuilder b = base_image();
    b.put(kBootArea, testing::amd_patch(0x48, 0x0F4A, 0x1022, 0x1106));
    b.put_module(
        kChain,
        stored_module("CPU.BIN", "4001:0",
                      joined({Bytes(16, 0xEE), testing::intel_update({.cpuid = 0x6B1,
                                                                      .revision = 0x1D,
                                                                      .date = 0x13012001,
                                                                      .extended = {{0x6B4, 0x21}}})})));
    f.write("bios.bin", b.bytes);
    const auto o = f.run({"--microcode", "--json"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out,
              "{\n"
              "  \"schema\": \"kitra-microcode/1\",\n"
              "  \"image\": \"bios.bin\",\n"
              "  \"bridge_layout\": false,\n"
              "  \"places\": [\n"
              "    {\n"
              "      \"place\": \"bootblock\",\n"
              "      \"offset\": 133120,\n"
              "      \"size\": 129024,\n"
              "      \"searched\": 2048,\n"
              "      \"updates\": 1,\n"
              "      \"other_bytes\": []\n"
              "    },\n"
              "    {\n"
              "      \"place\": \"module\",\n"
              "      \"offset\": 65536,\n"
              "      \"stored_name\": \"CPU.BIN\",\n"
              "      \"type_id\": 16385,\n"
              "      \"type_id_hex\": \"4001\",\n"
              "      \"module_length\": 2098,\n"
              "      \"unpacked\": true,\n"
              "      \"size\": 2064,\n"
              "      \"searched\": 2064,\n"
              "      \"updates\": 1,\n"
              "      \"other_bytes\": [\n"
              "        {\n"
              "          \"offset\": 0,\n"
              "          \"length\": 16\n"
              "        }\n"
              "      ]\n"
              "    }\n"
              "  ],\n"
              "  \"updates\": [\n"
              "    {\n"
              "      \"index\": 1,\n"
              "      \"place\": \"bootblock\",\n"
              "      \"place_index\": 0,\n"
              "      \"offset\": 0,\n"
              "      \"size\": 2048,\n"
              "      \"checksum_holds\": true,\n"
              "      \"vendor\": \"AMD\",\n"
              "      \"processor_revision\": 3914,\n"
              "      \"processor_revision_hex\": \"00000F4A\",\n"
              "      \"patch_id\": 72,\n"
              "      \"patch_id_hex\": \"00000048\",\n"
              "      \"north_bridge\": 4130,\n"
              "      \"north_bridge_hex\": \"00001022\",\n"
              "      \"south_bridge\": 4358,\n"
              "      \"south_bridge_hex\": \"00001106\",\n"
              "      \"duplicate_of\": null,\n"
              "      \"superseded_by\": null,\n"
              "      \"legacy_size\": false,\n"
              "      \"legacy_unreached\": false\n"
              "    },\n"
              "    {\n"
              "      \"index\": 2,\n"
              "      \"place\": \"module\",\n"
              "      \"place_index\": 1,\n"
              "      \"offset\": 16,\n"
              "      \"size\": 2048,\n"
              "      \"checksum_holds\": true,\n"
              "      \"vendor\": \"Intel\",\n"
              "      \"signature\": {\n"
              "        \"cpuid\": 1713,\n"
              "        \"cpuid_hex\": \"000006B1\",\n"
              "        \"family\": 6,\n"
              "        \"model\": 11,\n"
              "        \"stepping\": 1,\n"
              "        \"platform_mask\": 16,\n"
              "        \"platform_mask_hex\": \"10\",\n"
              "        \"platform_ids\": [\n"
              "          4\n"
              "        ]\n"
              "      },\n"
              "      \"extended_signatures\": [\n"
              "        {\n"
              "          \"cpuid\": 1716,\n"
              "          \"cpuid_hex\": \"000006B4\",\n"
              "          \"family\": 6,\n"
              "          \"model\": 11,\n"
              "          \"stepping\": 4,\n"
              "          \"platform_mask\": 33,\n"
              "          \"platform_mask_hex\": \"21\",\n"
              "          \"platform_ids\": [\n"
              "            0,\n"
              "            5\n"
              "          ]\n"
              "        }\n"
              "      ],\n"
              "      \"revision\": 29,\n"
              "      \"revision_hex\": \"0000001D\",\n"
              "      \"date\": null,\n"
              "      \"date_hex\": \"13012001\",\n"
              "      \"duplicate_of\": null,\n"
              "      \"superseded_by\": null,\n"
              "      \"legacy_size\": false,\n"
              "      \"legacy_unreached\": true\n"
              "    }\n"
              "  ]\n"
              "}\n");
}

TEST(MicrocodeListing, JsonFollowsItsSchema) {
    KITRA_NEEDS_PROGRAM("python3", "python3");
    if (std::system("python3 -c 'import jsonschema' >/dev/null 2>&1") != 0) {
        if (testing::tools_required()) FAIL() << "python3-jsonschema is not installed";
        GTEST_SKIP() << "the python3 module jsonschema is not installed (Debian package python3-jsonschema)";
    }
    Fixture f;
    f.write("bios.bin", every_place());
    const auto o = f.run({"--microcode", "--json"});
    ASSERT_EQ(o.status, 0);
    f.write("listing.json", o.out);
    const std::string schema = std::string(KITRA_TEST_DATA) + "/../../schema/microcode.schema.json";
    const std::string check =
        "cd '" + f.dir.path.string() +
        "' && python3 -c 'import json, sys, jsonschema; jsonschema.validate(json.load(open("
        "\"listing.json\")), json.load(open(sys.argv[1])))' '" +
        schema + "' >check.txt 2>&1";
    EXPECT_EQ(std::system(check.c_str()), 0) << base::text_of(*platform::read_file(f.dir.file("check.txt")));
}

const std::string kHead =
    "  #  Place         Offset  Vendor  CPUID     F-M-S     Platform IDs  Revision  Date        Size   "
    "Checksum\n";

// The image with one CPU microcode module of these updates.
Bytes with_module(const Bytes& contents, const std::string& name = "CPU.BIN") {
    ImageBuilder b = base_image();
    b.put_module(kChain, stored_module(name, "4001:0", contents));
    return b.bytes;
}

TEST(MicrocodeAdd, ReplacesNewerAddsInCpuidOrderSkipsTheRestThenDowngradesOnRequest) {
    Fixture f;
    f.write("bios.bin", with_module(joined({intel(0x686, 0x0A), intel(0x6B1, 0x1D)}), "CPU\x1B.BIN"));
    f.write("new.bin",
            joined({intel(0x686, 0x0C), intel(0x683, 0x10), intel(0x6B1, 0x1C), intel(0x6B1, 0x1D)}));
    f.write("p3.dat", testing::dat_text(intel(0x6B4, 0x02, 0x20, 0x03262002)));
    auto o = f.run({"--microcode-add", "new.bin", "p3.dat"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(
        o.out,
        "The CPU microcode module \"CPU?.BIN\" of bios.bin:\n"
        "  replaced  #1 Intel CPUID 00000686 platform IDs 4 revision 0000000A (2000-05-12) by revision "
        "0000000C (2000-05-12) from new.bin\n"
        "  added     Intel CPUID 00000683 platform IDs 4 revision 00000010 (2000-05-12) from new.bin\n"
        "  skipped   Intel CPUID 000006B1 platform IDs 4 revision 0000001C (2000-05-12) from new.bin: "
        "new.bin "
        "has revision 0000001D (2000-05-12)\n"
        "  skipped   Intel CPUID 000006B1 platform IDs 4 revision 0000001D (2000-05-12) from new.bin: it is "
        "in the image already\n"
        "  added     Intel CPUID 000006B4 platform IDs 5 revision 00000002 (2002-03-26) from p3.dat\n"
        "The module packs to 8179 bytes; 65536 bytes are free for it.\n");
    o = f.run({"--microcode"});
    EXPECT_EQ(
        o.out,
        "CPU microcode of bios.bin\n"
        "  bootblock     area at 00020800h, blank: no updates\n"
        "  module        \"CPU?.BIN\" at 00010000h, 8192 bytes unpacked: 4 updates\n"
        "  uncompressed  none\n\n" +
            kHead +
            "  1  module        00000h  Intel   00000683  06-08-03  4             00000010  2000-05-12  "
            "2048   holds\n"
            "  2  module        00800h  Intel   00000686  06-08-06  4             0000000C  2000-05-12  "
            "2048   holds\n"
            "  3  module        01000h  Intel   000006B1  06-0B-01  4             0000001D  2000-05-12  "
            "2048   holds\n"
            "  4  module        01800h  Intel   000006B4  06-0B-04  5             00000002  2002-03-26  "
            "2048   holds\n");
    f.write("old.bin", intel(0x686, 0x08));
    o = f.run({"--microcode-add", "old.bin", "--downgrade"});
    EXPECT_EQ(o.out,
              "The CPU microcode module \"CPU?.BIN\" of bios.bin:\n"
              "  replaced  #2 Intel CPUID 00000686 platform IDs 4 revision 0000000C (2000-05-12) by revision "
              "00000008 (2000-05-12) from old.bin (a downgrade)\n"
              "The module packs to 8180 bytes; 65536 bytes are free for it.\n");
    // Adding what is there already changes nothing.
    const Bytes before = f.image();
    o = f.run({"--microcode-add", "old.bin"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(
        o.out,
        "The CPU microcode module \"CPU?.BIN\" of bios.bin:\n"
        "  skipped   Intel CPUID 00000686 platform IDs 4 revision 00000008 (2000-05-12) from old.bin: it is "
        "in the image already\n"
        "Nothing to change; the image is left as it was.\n");
    EXPECT_EQ(f.image(), before);
}

TEST(MicrocodeAdd, MakesTheModuleAndTheUncompressedAreaWhereTheImageHasNone) {
    Fixture f;
    f.write("bios.bin", base_image().bytes);
    f.write("u.bin", joined({intel(0x6B1, 0x1D), testing::amd_patch(0x48, 0x0F4A)}));
    auto o = f.run({"--microcode-add", "u.bin"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out,
              "A new CPU microcode module \"CPUCODE.BIN\" of bios.bin:\n"
              "  added     Intel CPUID 000006B1 platform IDs 4 revision 0000001D (2000-05-12) from u.bin\n"
              "  added     AMD CPUID 00000F4A patch 00000048 from u.bin\n"
              "The module packs to 4134 bytes; 65536 bytes are free for it.\n");
    // The area is read by each record's total size word, which an AMD patch
    // does not keep.
    o = f.run({"--microcode-add", "--uncompressed", "u.bin"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(
        o.err,
        "u.bin: the update at offset 800h (AMD CPUID 00000F4A patch 00000048) is refused: the uncompressed "
        "area is read at steps of each record's total size word (offset 32), and this update's word "
        "75246F23 is not its size of 2048 bytes; --force adds it anyway.\n"
        "Nothing is added. The image is left unmodified.\n");
    o = f.run({"--microcode-add", "--uncompressed", "--force", "u.bin"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out,
              "A new uncompressed microcode area of bios.bin:\n"
              "  added     Intel CPUID 000006B1 platform IDs 4 revision 0000001D (2000-05-12) from u.bin\n"
              "  added     AMD CPUID 00000F4A patch 00000048 from u.bin\n"
              "The area's updates take 4096 bytes; 61369 bytes are free for them.\n");
    o = f.run({"--microcode"});
    EXPECT_EQ(
        o.out,
        "CPU microcode of bios.bin\n"
        "  bootblock     area at 00020800h, blank: no updates\n"
        "  module        \"CPUCODE.BIN\" at 00010000h, 4096 bytes unpacked: 2 updates\n"
        "  uncompressed  area at 0001EFE0h, 4096 bytes: 2 updates\n\n" +
            kHead +
            "  1  module        00000h  Intel   000006B1  06-0B-01  4             0000001D  2000-05-12  "
            "2048   holds\n"
            "  2  module        00800h  AMD     00000F4A  -         -             00000048  -           "
            "2048   holds\n"
            "  3  uncompressed  00000h  Intel   000006B1  06-0B-01  4             0000001D  2000-05-12  "
            "2048   holds\n"
            "     duplicate of #1\n"
            "  4  uncompressed  00800h  AMD     00000F4A  -         -             00000048  -           "
            "2048   holds\n"
            "     duplicate of #2\n"
            "     not whole in the /D table: the table steps over it by another length than its size\n");
    // The "*BS1" record points at the area, right below the compressed area's end.
    EXPECT_EQ(base::read_u32(f.image(), kBs1 + 11),
              static_cast<std::uint32_t>(kAreaEnd - 4096 - 32 - kImageSize));
}

// The chain filled with one stored module up to `free` bytes short of the
// compressed area's end.
ImageBuilder nearly_full(std::uint64_t free) {
    ImageBuilder b = base_image();
    const std::uint64_t step_without_data = 8 + 25 + 3;  // "fill.bin": H = 8 + 25, then 3
    b.put_module(kChain, stored_module("fill.bin", "8000:0",
                                       Bytes(kAreaEnd - free - kChain - step_without_data, 0x5A)));
    return b;
}

TEST(MicrocodeRefusals, NothingIsWrittenAndTheReasonIsGiven) {
    Bytes damaged = intel(0x6B1, 0x1D);
    base::write_u32(damaged, 100, base::read_u32(damaged, 100) + 1);
    const Bytes big = testing::intel_update({.cpuid = 0x6B1, .revision = 0x1D, .total_size = 4096});
    const Bytes plain = with_module(intel(0x686, 0x0A));
    ImageBuilder two = base_image();
    two.put_module(two.put_module(kChain, stored_module("A.BIN", "4001:0", intel(0x686, 0x0A))),
                   stored_module("B.BIN", "4001:0", intel(0x683, 0x10)));
    ImageBuilder no_bs1(kImageSize);
    no_bs1.put(0, stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    no_bs1.put_bootblock_record(0x20100, 0, 0xF000, 0x0000, 0xE000);
    ImageBuilder in_bootblock = base_image();
    in_bootblock.put(kBootArea, intel(0x686, 0x0A));
    const std::string dat = testing::dat_text(intel(0x683, 0x10));

    struct Case {
        std::string name;
        Bytes image;
        std::vector<std::string> args;
        std::string out, err;
    };
    const std::vector<Case> cases = {
        {"a damaged update",
         plain,
         {"--microcode-add", "damaged.bin"},
         "",
         "damaged.bin: the update at offset 0h is refused: its checksum does not hold: its words sum to "
         "00000001, "
         "not 0.\nNothing is added. The image is left unmodified.\n"},
        {"a .dat word",
         plain,
         {"--microcode-add", "bad.dat"},
         "",
         "bad.dat: line 2: \"0xZZ\" is no 32-bit word in hexadecimal (0x and 1 to 8 digits).\n"
         "Nothing is added. The image is left unmodified.\n"},
        {"a .dat cut short",
         plain,
         {"--microcode-add", "cut.dat"},
         "",
         "cut.dat: the update at offset 0h (line 2) is refused: it is 2048 bytes long, but only 400 bytes "
         "are "
         "left.\nNothing is added. The image is left unmodified.\n"},
        {"a missing file",
         plain,
         {"--microcode-add", "none.bin", "damaged.bin"},
         "",
         "Can't open none.bin file\n"
         "damaged.bin: the update at offset 0h is refused: its checksum does not hold: its words sum to "
         "00000001, "
         "not 0.\nNothing is added. The image is left unmodified.\n"},
        {"a size the module's reader does not step over",
         plain,
         {"--microcode-add", "big.bin"},
         "",
         "big.bin: the update at offset 0h (Intel CPUID 000006B1 platform IDs 4 revision 0000001D "
         "(2000-05-12)) is "
         "refused: the CPU microcode module is read in records of 2048 bytes, and this update is 4096 bytes "
         "long; "
         "--force adds it anyway.\nNothing is added. The image is left unmodified.\n"},
        {"a table of pointers",
         with_module(joined({Bytes(64, 0), intel(0x686, 0x0A)})),
         {"--microcode-add", "good.bin"},
         "",
         "The CPU microcode module \"CPU.BIN\" holds 64 bytes that are not updates (the first at "
         "00000h-0003Fh); "
         "the firmware may read them (a table of pointers, padding), so it is not rewritten. The image is "
         "left "
         "unmodified.\n"},
        {"two modules",
         two.bytes,
         {"--microcode-add", "good.bin"},
         "",
         "bios.bin holds 2 CPU microcode modules; kitra rewrites an image with one only. The image is left "
         "unmodified.\n"},
        {"no \"*BS1\"",
         no_bs1.bytes,
         {"--microcode-add", "--uncompressed", "good.bin"},
         "",
         "bios.bin has no \"*BS1\" record to point the firmware at an uncompressed microcode area. The image "
         "is "
         "left unmodified.\n"},
        {"no room in the chain",
         nearly_full(1000).bytes,
         {"--microcode-add", "good.bin"},
         "A new CPU microcode module \"CPUCODE.BIN\" of bios.bin:\n"
         "  added     Intel CPUID 000006B1 platform IDs 4 revision 0000001D (2000-05-12) from good.bin\n"
         "The module packs to 2086 bytes; 1000 bytes are free for it.\n",
         "It does not fit by 1086 bytes. The image is left unmodified.\n"},
        {"no room for the area",
         nearly_full(2000).bytes,
         {"--microcode-add", "--uncompressed", "good.bin"},
         "A new uncompressed microcode area of bios.bin:\n"
         "  added     Intel CPUID 000006B1 platform IDs 4 revision 0000001D (2000-05-12) from good.bin\n"
         "The area's updates take 2048 bytes; 1968 bytes are free for them.\n",
         "It does not fit by 80 bytes. The image is left unmodified.\n"},
        {"a selector that names nothing",
         plain,
         {"--microcode-remove", "686", "0x999"},
         "",
         "0x999 matches no update of the image.\nNothing is removed. The image is left unmodified.\n"},
        {"a selector that names the bootblock's only",
         in_bootblock.bytes,
         {"--microcode-remove", "index=1"},
         "",
         "index=1 matches updates in the bootblock's area only, which kitra does not change.\n"
         "Nothing is removed. The image is left unmodified.\n"},
        {"a removal from a table of pointers",
         with_module(joined({Bytes(64, 0), intel(0x686, 0x0A)})),
         {"--microcode-remove", "686"},
         "",
         "The CPU microcode module \"CPU.BIN\" holds 64 bytes that are not updates (the first at "
         "00000h-0003Fh); "
         "the firmware may read them (a table of pointers, padding), so it is not rewritten. The image is "
         "left "
         "unmodified.\n"},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.write("bios.bin", c.image);
        f.write("damaged.bin", damaged);
        f.write("big.bin", big);
        f.write("good.bin", intel(0x6B1, 0x1D));
        f.write("bad.dat", "/* one bad word */\n0x00000001, 0xZZ\n");
        f.write("cut.dat", dat.substr(0, dat.find('\n') + 1 + std::size_t{100} * 12));
        const auto o = f.run(c.args);
        EXPECT_EQ(o.status, 1) << c.name;
        EXPECT_EQ(o.out, c.out) << c.name;
        EXPECT_EQ(o.err, c.err) << c.name;
        EXPECT_EQ(f.image(), c.image) << c.name;
    }
}

TEST(MicrocodeRemove, BySelectorsFromBothPlacesUntilThePlacesAreGone) {
    Fixture f;
    ImageBuilder b = base_image();
    b.put_module(kChain, stored_module("CPU.BIN", "4001:0",
                                       joined({intel(0x683, 0x10), intel(0x686, 0x0A),
                                               intel(0x686, 0x0C, 0x20), intel(0x6B1, 0x1D)})));
    put_area(b, joined({intel(0x686, 0x0A), intel(0xF29, 0x2E, 0x04, 0x07152003)}));
    f.write("bios.bin", b.bytes);
    auto o = f.run({"--microcode-remove", "686,pf=10"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out,
              "The CPU microcode module \"CPU.BIN\" of bios.bin:\n"
              "  removed   #2 Intel CPUID 00000686 platform IDs 4 revision 0000000A (2000-05-12)\n"
              "The module packs to 6159 bytes; 61408 bytes are free for it.\n"
              "The uncompressed microcode area of bios.bin:\n"
              "  removed   #5 Intel CPUID 00000686 platform IDs 4 revision 0000000A (2000-05-12)\n"
              "The area's updates take 2048 bytes; 57277 bytes are free for them.\n");
    o = f.run({"--microcode-remove", "0x686,rev=C", "index=1"});
    EXPECT_EQ(o.out,
              "The CPU microcode module \"CPU.BIN\" of bios.bin:\n"
              "  removed   #1 Intel CPUID 00000683 platform IDs 4 revision 00000010 (2000-05-12)\n"
              "  removed   #2 Intel CPUID 00000686 platform IDs 5 revision 0000000C (2000-05-12)\n"
              "The module packs to 2082 bytes; 63456 bytes are free for it.\n");
    // The last update of a place takes the place with it: the module is
    // removed from the chain, the area released as /NC_CPUCODE release does.
    o = f.run({"--microcode-remove", "6B1", "F29"});
    EXPECT_EQ(o.out,
              "The CPU microcode module \"CPU.BIN\" of bios.bin:\n"
              "  removed   #1 Intel CPUID 000006B1 platform IDs 4 revision 0000001D (2000-05-12)\n"
              "No update is left: the CPU microcode module \"CPU.BIN\" is removed.\n"
              "The uncompressed microcode area of bios.bin:\n"
              "  removed   #2 Intel CPUID 00000F29 platform IDs 2 revision 0000002E (2003-07-15)\n"
              "No update is left: the uncompressed microcode area is removed.\n"
              "\n  Free address [1F7E0] of the BIOS\n");
    o = f.run({"--microcode"});
    EXPECT_EQ(o.out,
              "CPU microcode of bios.bin\n"
              "  bootblock     area at 00020800h, blank: no updates\n"
              "  module        none\n"
              "  uncompressed  none\n\n"
              "No updates.\n");
    const Bytes image = f.image();
    EXPECT_EQ(Bytes(image.begin() + kChain, image.begin() + kAreaEnd), Bytes(kAreaEnd - kChain, 0xFF));
}

TEST(MicrocodeCommands, HelpListsThemInOneColumn) {
    testing::TempDir dir;
    const auto o = testing::run_kitra({"--help"}, dir.path);
    EXPECT_NE(o.out.find("\n  --microcode        lists the CPU microcode updates and where they are\n"
                         "  --microcode-add    adds CPU microcode updates, or replaces older revisions\n"
                         "  --microcode-remove removes CPU microcode updates to make room\n"),
              std::string::npos)
        << o.out;
}

TEST(MicrocodeCommands, WrongCommandLinesChangeNothing) {
    const std::string kAddUsage =
        "kitra IMAGE --microcode-add FILE... [--uncompressed] [--downgrade] [--force]\n";
    const std::string kRemoveUsage = "kitra IMAGE --microcode-remove SELECTOR...\n";
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"--microcode", "x"},
         "kitra --microcode: \"x\" is no argument of it\nkitra IMAGE --microcode [--json]\n"},
        {{"--microcode-add"}, "kitra --microcode-add: it needs a file of updates\n" + kAddUsage},
        {{"--microcode-add", "--all", "a.bin"},
         "kitra --microcode-add: --all is no switch of it\n" + kAddUsage},
        {{"--microcode-remove"}, "kitra --microcode-remove: it needs a selector\n" + kRemoveUsage},
        {{"--microcode-remove", "index=0"},
         "kitra --microcode-remove: \"index=0\": an index is a number from 1\n" + kRemoveUsage},
        {{"--microcode-remove", "686,pf=x"},
         "kitra --microcode-remove: \"686,pf=x\": pf= takes a platform-ID mask in hexadecimal\n" +
             kRemoveUsage},
        {{"--microcode-remove", "686,rev=1,rev=2"},
         "kitra --microcode-remove: \"686,rev=1,rev=2\": after the CPUID come pf=MASK and rev=REVISION, once "
         "each\n" +
             kRemoveUsage},
        {{"--microcode-remove", "CPU686"},
         "kitra --microcode-remove: \"CPU686\": a selector starts with a CPUID in hexadecimal\n" +
             kRemoveUsage},
    };
    for (const Case& c : cases) {
        Fixture f;
        const Bytes image = with_module(intel(0x686, 0x0A));
        f.write("bios.bin", image);
        const auto o = f.run(c.args);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err, c.err);
        EXPECT_EQ(f.image(), image);
    }
}

}  // namespace
}  // namespace kitra::microcode