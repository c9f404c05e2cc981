#include "cli/catalogue.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/item_type.h"
#include "codec/module_header.h"
#include "support/scratch_file.h"

namespace kitra::cli {
namespace {

TEST(Catalogue, CodesAreUniqueAndCoverOneTo164ExceptTheUnassigned) {
    std::set<int> codes;
    int previous = 0;
    for (const CatalogueEntry& entry : catalogue()) {
        EXPECT_GT(entry.code, previous) << entry.option;  // option-code order
        previous = entry.code;
        codes.insert(entry.code);
    }
    std::set<int> expected;
    for (int code = 1; code <= 164; ++code)
        if (code != 6 && code != 114 && code != 115) expected.insert(code);
    EXPECT_EQ(codes, expected);
    for (int code : {0, 6, 114, 115, 165, -1}) EXPECT_EQ(entry_for_code(code), nullptr) << code;
}

TEST(Catalogue, EveryTypeIdTextParsesToItsNumber) {
    for (const CatalogueEntry& entry : catalogue()) {
        if (entry.type_id_text.empty()) {
            EXPECT_EQ(entry.type_id, kNoType) << entry.option;
            continue;
        }
        const codec::TypeId parsed = codec::parse_type_id_text(entry.type_id_text);
        EXPECT_EQ(parsed.id, entry.type_id) << entry.option;
        EXPECT_EQ(parsed.suffix, 0) << entry.option;
    }
}

TEST(Catalogue, OptionsSharingATypeIdShareTheirListingName) {
    std::map<std::uint16_t, std::string_view> names;
    for (const CatalogueEntry& entry : catalogue()) {
        if (entry.listing != Listing::kFixed) continue;
        auto [it, inserted] = names.emplace(entry.type_id, entry.listing_name);
        if (!inserted) {
            EXPECT_EQ(it->second, entry.listing_name) << entry.option;
        }
        EXPECT_GE(entry.listing_width, static_cast<int>(entry.listing_name.size())) << entry.option;
    }
}

TEST(Catalogue, LookupIgnoresCaseAndNeedsTheWholeName) {
    EXPECT_EQ(lookup_option("/vga"), 1);
    EXPECT_EQ(lookup_option("/VGA"), 1);
    EXPECT_EQ(lookup_option("/Vga"), 1);
    EXPECT_EQ(lookup_option("/vga2"), 0);
    EXPECT_EQ(lookup_option("/osb_bmp_gui"), 145);
    EXPECT_EQ(lookup_option("/err"), 0);
    EXPECT_EQ(lookup_option(""), 0);
    EXPECT_EQ(lookup_option(std::string(10000, '/')), 0);
    EXPECT_EQ(lookup_option("/\xc4\xd6\xff"), 0);
}

TEST(Catalogue, FailureNames) {
    EXPECT_EQ(failure_name(59), "OsbBmp3");
    EXPECT_EQ(failure_name(2), "PCI");
    EXPECT_EQ(failure_name(148), "OsbBmp3Gui");
    EXPECT_EQ(failure_name(37), "");
    EXPECT_EQ(failure_name(6), "");
}

TEST(Catalogue, FixedListingNamesArePaddedToTheirOwnWidths) {
    EXPECT_EQ(listing_name(0x4000, 0), "LOGO BitMap     ");
    EXPECT_EQ(listing_name(0x4058, 0), "JPEG1 ROM        ");
    EXPECT_EQ(listing_name(0x405C, 0), "JPEG ENGINE");
    EXPECT_EQ(listing_name(0x405D, 0), "BIOSF0            ");
    EXPECT_EQ(listing_name(0x40B7, 0), "SMI32     ");
    EXPECT_EQ(listing_name(0x4045, 0x12), "NoCompress ROM  ");  // the suffix does not matter
}

TEST(Catalogue, FamilyListingNamesAtBothEndsOfEachRange) {
    EXPECT_EQ(listing_name(0x4029, 0), "GROUP ROM[ 0]   ");
    EXPECT_EQ(listing_name(0x402E, 0), "GROUP ROM[ 5]   ");
    EXPECT_EQ(listing_name(0x4044, 0), "GROUP ROM[27]   ");
    EXPECT_EQ(listing_name(0x4080, 0), "VGA ROM[1]      ");
    EXPECT_EQ(listing_name(0x4085, 0), "VGA ROM[6]      ");
    EXPECT_EQ(listing_name(0x4086, 0), "PCI ROM[A]      ");
    EXPECT_EQ(listing_name(0x409F, 0), "PCI ROM[Z]      ");
    EXPECT_EQ(listing_name(0x40A0, 0), "ISA ROM[A]      ");
    EXPECT_EQ(listing_name(0x40A3, 0), "ISA ROM[D]      ");
    EXPECT_EQ(listing_name(0x40A4, 0), "ISA ROM[1]      ");
    EXPECT_EQ(listing_name(0x40A7, 0), "ISA ROM[4]      ");
    EXPECT_EQ(listing_name(0x40C0, 0), "ACPI SDT ROM[A] ");
    EXPECT_EQ(listing_name(0x40C9, 0), "ACPI SDT ROM[J] ");
}

TEST(Catalogue, EverythingElseIsOther) {
    EXPECT_EQ(listing_name(0x8000, 0), "Other(8000:0000)");
    EXPECT_EQ(listing_name(0x40A8, 0), "Other(40A8:0000)");
    EXPECT_EQ(listing_name(0x4068, 0), "Other(4068:0000)");  // /CALS never stores a module
    EXPECT_EQ(listing_name(0x0000, 0), "Other(0000:0000)");
    EXPECT_EQ(listing_name(0x3010, 0), "Other(3010:0000)");  // bootblock kinds have their own listing
}

TEST(Catalogue, BootblockListingNames) {
    EXPECT_EQ(bootblock_listing_name(0x3010, 0), "MEM INIT IN BB  ");
    EXPECT_EQ(bootblock_listing_name(0x3011, 0), "1 PE32 IN BB  ");
    EXPECT_EQ(bootblock_listing_name(0x3014, 0), "4 PE32 IN BB  ");
    EXPECT_EQ(bootblock_listing_name(0x3015, 0), "Other(3015:0000)");
    EXPECT_EQ(bootblock_listing_name(0x4080, 1), "Other(4080:0001)");
}

// Type selection.

struct Selected {
    ItemType item;
    std::string output;
};

Selected select(std::vector<std::string> args, int index, int group = 0, bool extended = false) {
    platform::Console con;
    con.out = testing::scratch_file();
    const TypeContext context{args, index, group, extended};
    Selected s;
    s.item = select_type(lookup_option(args[static_cast<std::size_t>(index)]), context, con);
    s.output = testing::scratch_contents(con.out);
    std::fclose(con.out);
    return s;
}

TEST(TypeSelection, PlainOptionsTakeTheirTableType) {
    const Selected s = select({"kitra", "bios.bin", "/vga", "v.rom"}, 2);
    EXPECT_TRUE(s.item.valid);
    EXPECT_EQ(s.item.option_code, 1);
    EXPECT_EQ(s.item.type_id_text, "4080:0");
    EXPECT_EQ(s.item.type_id, 0x4080);
    EXPECT_EQ(s.item.type_words, 0);
    EXPECT_EQ(select({"k", "/acpitbl"}, 1).item.type_id_text, "4003:0");
    EXPECT_EQ(select({"k", "/OSB_BMP_GUI"}, 1).item.type_id_text, "404E:0");
    EXPECT_EQ(select({"k", "/OSB_LOGO_GUI"}, 1).item.type_id_text, "4046:0");
    EXPECT_TRUE(s.output.empty());
}

TEST(TypeSelection, NcrAndAhaRunAsPci) {
    for (const char* option : {"/ncr", "/AHA"}) {
        const Selected s = select({"k", "b.bin", option}, 2);
        EXPECT_TRUE(s.item.valid);
        EXPECT_EQ(s.item.option_code, 13);
        EXPECT_EQ(s.item.type_id_text, "4086:0");
        EXPECT_EQ(s.item.type_id, 0x4086);
        EXPECT_EQ(failure_name(s.item.option_code), "PCI");
    }
}

TEST(TypeSelection, OtherTakesItsTypeWord) {
    Selected s = select({"k", "b.bin", "/other", "8000:0", "x.rom"}, 2);
    EXPECT_TRUE(s.item.valid);
    EXPECT_EQ(s.item.type_id_text, "8000:0");
    EXPECT_EQ(s.item.type_id, 0x8000);
    EXPECT_EQ(s.item.type_words, 1);
    EXPECT_EQ(s.output, "");

    s = select({"k", "b.bin", "/other", "80G0:0", "x.rom"}, 2);
    EXPECT_FALSE(s.item.valid);
    EXPECT_EQ(s.item.type_words, 1);
    EXPECT_EQ(s.output, "Input parameter 80G0:0 error.");

    EXPECT_EQ(select({"k", "b.bin", "/other", "abCD", "x.rom"}, 2).item.type_id, 0xABCD);
    EXPECT_EQ(select({"k", "b.bin", "/other", "1:zz", "x.rom"}, 2).item.type_id, 0x0001);
    EXPECT_EQ(select({"k", "b.bin", "/other", "/err"}, 2).output, "Input parameter /err error.");
    // Wider than a type ID, no digits at all, or no word: refused too.
    EXPECT_FALSE(select({"k", "b.bin", "/other", "18000:0", "x.rom"}, 2).item.valid);
    EXPECT_FALSE(select({"k", "b.bin", "/other", std::string(10000, 'F'), "x.rom"}, 2).item.valid);
    EXPECT_FALSE(select({"k", "b.bin", "/other", ":0", "x.rom"}, 2).item.valid);
    s = select({"k", "b.bin", "/other"}, 2);
    EXPECT_FALSE(s.item.valid);
    EXPECT_EQ(s.output, "Input parameter  error.");
}

TEST(TypeSelection, IsaSegmentWord) {
    Selected s = select({"k", "b.bin", "/isa", "isa.rom", "C800:0"}, 2);
    EXPECT_TRUE(s.item.valid);
    EXPECT_EQ(s.item.isa_segment, 0xC800u);
    EXPECT_EQ(s.item.type_id_text, "40A0:0");
    EXPECT_EQ(s.item.type_id, 0x40A0);

    for (const char* after : {"/err", "0", "0:0", "/vga"}) {
        s = select({"k", "b.bin", "/isa", "isa.rom", after}, 2);
        EXPECT_TRUE(s.item.valid) << after;
        EXPECT_EQ(s.item.isa_segment, 0u) << after;
        EXPECT_EQ(s.item.type_id_text, "40A4:0") << after;
        EXPECT_EQ(s.item.type_id, 0x40A4) << after;
        EXPECT_FALSE(s.item.isa_segment_bad) << after;
    }
    EXPECT_EQ(select({"k", "b.bin", "/isa", "isa.rom"}, 2).item.type_id, 0x40A4);
    EXPECT_EQ(select({"k", "b.bin", "/isa", "d000/x"}, 2).item.type_id, 0x40A4);

    s = select({"k", "b.bin", "/isa", "isa.rom", "noreserve"}, 2);
    EXPECT_TRUE(s.item.isa_segment_bad);
    EXPECT_EQ(s.output, "Input parameter isa.rom error.");
    EXPECT_TRUE(select({"k", "b.bin", "/isa", "isa.rom", "123456789"}, 2).item.isa_segment_bad);

    // No RomFile: the next word is no segment.
    for (const char* first : {"release", "EXTRACT", "/vga"}) {
        s = select({"k", "b.bin", "/isa", first, "zz"}, 2);
        EXPECT_FALSE(s.item.isa_segment_bad) << first;
        EXPECT_EQ(s.output, "") << first;
    }
}

TEST(TypeSelection, GroupNumberPicksTheGroupType) {
    Selected s = select({"k", "b.bin", "/group", "g.bin"}, 2, 5);
    EXPECT_TRUE(s.item.valid);
    EXPECT_EQ(s.item.type_id_text, "402E:0");
    EXPECT_EQ(s.item.type_id, 0x402E);
    EXPECT_EQ(select({"k", "/group"}, 1, 0).item.type_id_text, "4029:0");
    for (int group = 0; group <= kMaxGroupNumber; ++group) {
        const ItemType item = select({"k", "/group"}, 1, group).item;
        EXPECT_EQ(codec::parse_type_id_text(item.type_id_text).id, item.type_id);
        EXPECT_EQ(item.type_id, 0x4029 + group);
    }
    EXPECT_EQ(select({"k", "/group"}, 1, 27).item.type_id_text, "4044:0");

    s = select({"k", "/group"}, 1, 28);
    EXPECT_FALSE(s.item.valid);
    EXPECT_EQ(s.output, "Group number 28 out of range (0-27).\n");
    EXPECT_FALSE(select({"k", "/group"}, 1, -1).item.valid);
}

TEST(TypeSelection, OptionsWithoutAModule) {
    for (const char* option : {"/d", "/NVMM", "/nvpmu", "/BOI"}) {
        const ItemType item = select({"k", option}, 1).item;
        EXPECT_TRUE(item.valid) << option;
        EXPECT_EQ(item.type_id, kNoType) << option;
        EXPECT_EQ(item.type_id_text, "") << option;
    }
    const ItemType top = select({"k", "/TOPHOLE"}, 1).item;
    EXPECT_TRUE(top.valid);
    EXPECT_EQ(top.type_id_text, "0:0");
    EXPECT_EQ(top.type_id, 0);
}

TEST(TypeSelection, BtvgaNeedsTheExtendedLayout) {
    Selected s = select({"k", "b.bin", "/btvga", "v.rom"}, 2, 0, false);
    EXPECT_FALSE(s.item.valid);
    EXPECT_EQ(s.output, "");
    s = select({"k", "b.bin", "/btvga", "v.rom"}, 2, 0, true);
    EXPECT_TRUE(s.item.valid);
    EXPECT_EQ(s.item.type_id, kNoType);
}

TEST(TypeSelection, NotAnOptionIsInvalid) {
    for (const char* word : {"/err", "noreserve", "checksum", "/group3"}) {
        const Selected s = select({"k", "b.bin", word}, 2);
        EXPECT_FALSE(s.item.valid) << word;
        EXPECT_EQ(s.output, "") << word;
    }
}

}  // namespace
}  // namespace kitra::cli
