// The update reader: whole updates found wherever they start, every refusal
// with its reason, and the ".dat" text form. Updates are made in
// tests/support with valid checksums, then damaged one field at a time.
#include "convert/microcode_updates.h"

#include <gtest/gtest.h>

#include <functional>

#include "convert/microcode_dat.h"
#include "support/image_builder.h"
#include "support/microcode_builder.h"

namespace kitra::convert {
namespace {

using base::Bytes;
using base::read_u32;
using base::write_u32;
using testing::IntelUpdateFields;
using testing::joined;

const IntelUpdateFields kTwoSignatures{.cpuid = 0x6B1,
                                       .platform_mask = 0x10,
                                       .revision = 0x1D,
                                       .date = 0x06112001,
                                       .total_size = 4096,
                                       .extended = {{0x6B4, 0x20}, {0x6B4, 0x10}}};

std::string problem_of(const Bytes& bytes) {
    const auto read = read_update(bytes, WordSums(bytes), 0);
    if (const auto* problem = std::get_if<std::string>(&read)) return *problem;
    return "read";
}

void add_to_word(Bytes& b, std::size_t at, std::uint32_t d) {
    write_u32(b, at, read_u32(b, at) + d);
}

TEST(MicrocodeUpdates, ReadsAWholeUpdateWithItsExtendedSignatures) {
    const Bytes b = testing::intel_update(kTwoSignatures);
    const auto read = read_update(b, WordSums(b), 0);
    ASSERT_TRUE(std::holds_alternative<Update>(read)) << std::get<std::string>(read);
    const Update& u = std::get<Update>(read);
    EXPECT_EQ(u.size, 4096u);
    EXPECT_EQ(u.revision, 0x1Du);
    EXPECT_TRUE(u.checksum_holds);
    EXPECT_EQ(u.signatures, (std::vector<UpdateSignature>{{0x6B1, 0x10}, {0x6B4, 0x20}, {0x6B4, 0x10}}));
    const Bytes amd = testing::amd_patch(0x48, 0x0F4A, 0x1022, 0x1106);
    const Update a = std::get<Update>(read_update(amd, WordSums(amd), 0));
    EXPECT_EQ(a.vendor, Vendor::kAmd);
    EXPECT_EQ(a.cpuid(), 0x0F4Au);
    EXPECT_EQ(a.revision, 0x48u);
    EXPECT_EQ(a.north_bridge, 0x1022u);
    EXPECT_EQ(a.south_bridge, 0x1106u);
}

TEST(MicrocodeUpdates, EachDamageIsRefusedWithItsReason) {
    struct Case {
        std::function<void(Bytes&)> damage;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {[](Bytes& b) { write_u32(b, 0, 2); },
         "it is no Intel update (its header version is 2, not 1) and no AMD patch (no 2048 bytes whose data "
         "checksum holds)"},
        {[](Bytes& b) { write_u32(b, 20, 0); }, "its loader revision is 0"},
        {[](Bytes& b) { write_u32(b, 28, 0); },
         "its data size 0 stands for 2000 bytes, but its total size is 4096"},
        {[](Bytes& b) { write_u32(b, 28, 4001); }, "its data size 4001 is no whole number of 32-bit words"},
        {[](Bytes& b) { write_u32(b, 32, 3000); }, "its total size 3000 is no multiple of 1024"},
        {[](Bytes& b) { write_u32(b, 32, 2048); },
         "its total size 2048 is less than its header and 4004 bytes of data"},
        {[](Bytes& b) { b.resize(1000); }, "it is 4096 bytes long, but only 1000 bytes are left"},
        {[](Bytes& b) { b.resize(20); },
         "only 20 bytes are left, fewer than the 48 bytes of an update's header"},
        {[](Bytes& b) { add_to_word(b, 100, 1); },
         "its checksum does not hold: its words sum to 00000001, not 0"},
        {[](Bytes& b) { add_to_word(b, 4052 + 8, 1); },
         "the checksum of its extended signature table does not hold"},
        {[](Bytes& b) {
             add_to_word(b, 4052 + 20 + 8, 1);
             add_to_word(b, 4052 + 4, 0xFFFFFFFF);
         },
         "the checksum of its extended signature 1 (CPUID 000006B4) does not hold"},
        {[](Bytes& b) { write_u32(b, 4052, 3); },
         "its extended signature table of 3 entries does not fill the 44 bytes after its data"},
        {[](Bytes& b) { write_u32(b, 28, 4040); },
         "the 8 bytes after its data are too few for an extended signature table"},
    };
    for (const Case& c : cases) {
        Bytes b = testing::intel_update(kTwoSignatures);
        c.damage(b);
        EXPECT_EQ(problem_of(b), c.reason);
    }
}

TEST(MicrocodeUpdates, FindsUpdatesWhereverTheyStartAndTheBytesAround) {
    const Bytes first = testing::intel_update({.cpuid = 0x686, .old_form = true});
    const Bytes second = testing::intel_update(kTwoSignatures);
    const Bytes patch = testing::amd_patch(0x48, 0x0F4A);
    Bytes damaged = testing::intel_update({.cpuid = 0x6A0, .seed = 5});
    add_to_word(damaged, 200, 7);
    Bytes undated = damaged;
    write_u32(undated, 8, 0x13452001);  // month 13: no date, so no update either
    const Bytes area =
        joined({Bytes(64, 0x90), first, second, patch, Bytes(16, 0xFF), damaged, undated, Bytes(100, 0xFF)});
    const FoundUpdates f = find_updates(area);
    ASSERT_EQ(f.updates.size(), 4u);
    EXPECT_EQ(f.updates[0].offset, 64u);
    EXPECT_EQ(f.updates[1].offset, 64u + 2048);
    EXPECT_EQ(f.updates[2].offset, 64u + 2048 + 4096);
    EXPECT_EQ(f.updates[2].vendor, Vendor::kAmd);
    EXPECT_EQ(f.updates[3].offset, 64u + 2048 + 4096 + 2048 + 16);
    EXPECT_FALSE(f.updates[3].checksum_holds);
    EXPECT_TRUE(f.updates[0].checksum_holds);
    EXPECT_EQ(f.other, (std::vector<ByteSpan>{{0, 64}, {8256, 16}, {10320, 2048 + 100}}));

    // The legacy reader of the bootblock's area stops at a record that begins
    // erased; so does the search.
    const FoundUpdates boot = find_updates(joined({first, Bytes(2048, 0xFF), second}), true);
    EXPECT_EQ(boot.updates.size(), 1u);
    EXPECT_TRUE(boot.other.empty());
}

TEST(MicrocodeUpdates, FileOfJoinedUpdatesNamesTheFirstThatIsNotWhole) {
    const Bytes a = testing::intel_update({.cpuid = 0x686});
    const auto whole = read_update_file(joined({a, testing::amd_patch(1, 0x0F4A), a}));
    ASSERT_TRUE(std::holds_alternative<std::vector<Update>>(whole));
    EXPECT_EQ(std::get<std::vector<Update>>(whole).size(), 3u);
    const auto cut = read_update_file(joined({a, Bytes(a.begin(), a.begin() + 100)}));
    const auto& problem = std::get<UpdateFileProblem>(cut);
    EXPECT_EQ(problem.offset, 2048u);
    EXPECT_EQ(problem.reason, "it is 2048 bytes long, but only 100 bytes are left");
}

TEST(MicrocodeUpdates, DatesProcessorsAndPlatformIds) {
    EXPECT_EQ(iso_date(0x07152003), "2003-07-15");
    EXPECT_EQ(iso_date(0x12311999), "1999-12-31");
    for (const std::uint32_t bad : {0x13012003u, 0x00152003u, 0x07322003u, 0x0715200Au, 0u})
        EXPECT_EQ(iso_date(bad), std::nullopt) << std::hex << bad;
    struct Case {
        std::uint32_t cpuid, family, model, stepping;
    };
    for (const Case c : {Case{0x686, 6, 8, 6}, Case{0xF29, 15, 2, 9}, Case{0x106A5, 6, 0x1A, 5},
                         Case{0x20F12, 15, 0x21, 2}, Case{0x100F42, 0x10, 4, 2}, Case{0x50662, 6, 0x56, 2}}) {
        const CpuidParts p = cpuid_parts(c.cpuid);
        EXPECT_EQ(std::vector<std::uint32_t>({p.family, p.model, p.stepping}),
                  std::vector<std::uint32_t>({c.family, c.model, c.stepping}))
            << std::hex << c.cpuid;
    }
    EXPECT_EQ(platform_ids(0x12), (std::vector<int>{1, 4}));
    EXPECT_EQ(platform_ids(0), std::vector<int>{});
}

TEST(MicrocodeDat, TextGivesTheWordsAndTheLinesTheyStandOn) {
    const Bytes update = testing::intel_update({.cpuid = 0x686});
    const std::string text = testing::dat_text(update) + "// the end\n\x1A";
    ASSERT_TRUE(is_dat_text(base::view_of(text)));
    const auto read = read_dat(base::view_of(text));
    const DatWords& words = std::get<DatWords>(read);
    EXPECT_EQ(words.bytes, update);
    EXPECT_EQ(words.line_at(0), 2u);
    EXPECT_EQ(words.line_at(2044), 129u);
    EXPECT_FALSE(is_dat_text(update));

    struct Case {
        std::string text, problem;
    };
    for (const Case& c : std::vector<Case>{
             {"0x1, 0x2,\n/* open\n\n", "line 2: the comment that starts there is never closed"},
             {"0x1,\n 0x123456789",
              "line 2: \"0x123456789\" is no 32-bit word in hexadecimal (0x and 1 to 8 digits)"},
             {"0x1; 0x2", "line 1: \";\" is no 32-bit word in hexadecimal (0x and 1 to 8 digits)"},
             {"00000001", "line 1: \"00000001\" is no 32-bit word in hexadecimal (0x and 1 to 8 digits)"},
             {"/* nothing */\n", "it holds no words"},
         })
        EXPECT_EQ(std::get<std::string>(read_dat(base::view_of(c.text))), c.problem) << c.text;
}

}  // namespace
}  // namespace kitra::convert
