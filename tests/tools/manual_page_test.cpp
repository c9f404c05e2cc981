#include "manual/manual_page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cli/catalogue.h"
#include "microcode/microcode_commands.h"
#include "support/external_program.h"
#include "support/run_kitra.h"

namespace kitra::manual {
namespace {

TEST(Manual, EveryOptionOfTheCatalogueIsListedWithItsTypeId) {
    const std::string roff = to_roff(kitra_manual("1.99"));
    for (const cli::CatalogueEntry& e : cli::catalogue()) {
        const std::string text = describe_option(e.code);
        EXPECT_NE(roff.find(".TP\n.B " + std::string(e.option) + "\n"), std::string::npos) << e.option;
        if (!e.type_id_text.empty() && e.listing != cli::Listing::kFamily) {
            EXPECT_NE(text.find("Type ID " + std::string(e.type_id_text) + "."), std::string::npos) << text;
        }
    }
}

TEST(Manual, WhatAnOptionAddsIsReadFromItsKind) {
    EXPECT_EQ(describe_option(1),
              "Adds RomFile as a VGA option ROM, in the first free of the slots 1 to 6, or over a ROM of the "
              "same vendor, device and class. Type ID 4080:0 to 4085:0.");
    EXPECT_EQ(
        describe_option(8),
        "Adds RomFile as the module listed as \"CPU micro code\". Without RomFile it takes the load image "
        "of CPUCODE.EXE, writes it to CPUCODE.BIN and adds that. Type ID 4001:0.");
    EXPECT_EQ(describe_option(128),
              "Adds RomFile as a module of the bootblock arena; a type 1 PE32 image, stored with its data "
              "aligned to 128 bytes, relocated to the address it lands at and referenced from the bootblock. "
              "Type ID 3011:0.");
    EXPECT_EQ(describe_option(9),
              "Adds RomFile as the module listed as \"EPA LOGO\"; a BMP picture is converted "
              "to an EPA logo. Without RomFile it takes the load image of MORVAEPA.EXE, "
              "writes it to MORVAEPA.BIN and adds that. Type ID 4002:0.");
    EXPECT_EQ(describe_option(97),
              "Writes RomFile, the nVidia memory module, into its bootblock area. No module "
              "of its own (type ID none).");
    EXPECT_EQ(describe_option(6), "");  // no option has code 6
}

TEST(Manual, TheMicrocodeCommandsStandUnderTheirUsageLines) {
    const std::string text = to_text(kitra_manual("1.99"));
    for (const cli::NewCommand& c : microcode::commands()) {
        const std::string usage(c.help.substr(0, c.help.find('\n')));
        EXPECT_NE(text.find("\n       " + usage + "\n"), std::string::npos) << usage;
    }
    EXPECT_NE(text.find("kitra bios.bin --microcode-remove 650 index=7"), std::string::npos);
    EXPECT_NE(text.find("kitra bios.bin --dry-run /oem3 oem3.bin /advice /err\n"), std::string::npos);
}

TEST(Manual, RoffEscapesBackslashesHyphensAndRequestsAtALineStart) {
    Document doc{"kitra", "1.99", "a-b", {}};
    doc.sections.push_back({"FILES",
                            {{Block::Form::kTagged, "i:\\eprom", "x\n.y 'z"},
                             {Block::Form::kExample, {}, "kitra bios.bin /D\n'quoted"}}});
    EXPECT_EQ(to_roff(doc),
              ".TH KITRA 1 \"\" \"kitra 1.99\" \"User Commands\"\n.nh\n.SH NAME\nkitra \\- a\\-b\n"
              ".SH \"FILES\"\n.TP\n.B i:\\eeprom\nx\n\\&.y 'z\n"
              ".PP\n.RS 4\n.nf\nkitra bios.bin /D\n\\&'quoted\n.fi\n.RE\n");
}

TEST(Manual, TextIsWrappedAt78ColumnsUnderItsTags) {
    Document doc{"kitra", "1.99", "assemble images", {}};
    const std::string words = "one two three four five six seven eight nine ten eleven twelve thirteen";
    doc.sections.push_back({"WORDS",
                            {{Block::Form::kTagged, "/d", words},
                             {Block::Form::kTagged, "/NoCompress", "short"},
                             {Block::Form::kParagraph, {}, words + " " + words},
                             {Block::Form::kExample, {}, "kitra a\nkitra b"}}});
    EXPECT_EQ(to_text(doc),
              "KITRA(1)" + std::string(62, ' ') +
                  "KITRA(1)\n\nNAME\n       kitra - assemble images\n\n"
                  "WORDS\n"
                  "       /d     one two three four five six seven eight nine ten eleven twelve\n"
                  "              thirteen\n\n"
                  "       /NoCompress\n              short\n\n"
                  "       one two three four five six seven eight nine ten eleven twelve thirteen\n"
                  "       one two three four five six seven eight nine ten eleven twelve thirteen\n\n"
                  "           kitra a\n           kitra b\n\nkitra 1.99\n");
}

// The page as man shows it: groff reads it without a warning.
TEST(Manual, GroffReadsThePageWithoutAWarning) {
    KITRA_NEEDS_PROGRAM("groff", "groff-base");
    testing::TempDir dir;
    {
        std::ofstream page(dir.file("kitra.1"), std::ios::binary);
        page << to_roff(kitra_manual("1.99"));
    }
    const std::string command =
        "groff -man -Tutf8 -ww -z " + dir.file("kitra.1") + " 2> " + dir.file("warnings");
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::ifstream warnings(dir.file("warnings"));
    std::stringstream text;
    text << warnings.rdbuf();
    EXPECT_EQ(text.str(), "");
}

}  // namespace
}  // namespace kitra::manual
