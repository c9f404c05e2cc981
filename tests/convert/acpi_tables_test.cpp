// ACPI tables: the check an ACPI SDT module passes before it is added, the
// header fields of the slot choice, the joined table input. The tables are
// real ones compiled from tests/data/acpi.
#include "convert/acpi_tables.h"

#include <gtest/gtest.h>

#include "convert/tool_fixture.h"
#include "platform/files.h"

namespace kitra::convert {
namespace {

using base::Bytes;

Bytes fixture(const char* name) {
    return platform::read_file(std::string(KITRA_TEST_DATA) + "/acpi/" + name).value();
}

// What the tool runs below do not reach: tables too short for a Length,
// and the 64 KiB bounds of a module's table and of a joined input.
TEST(AcpiTables, SizeBoundsOfTablesAndJoins) {
    EXPECT_EQ(check_acpi_table(Bytes{'S', 'S', 'D', 'T', 7, 0, 0}), AcpiTableCheck::kWrongSize);
    EXPECT_EQ(check_acpi_table({}), AcpiTableCheck::kWrongSize);
    Bytes big(70000, 0);  // over 64 KiB: refused, whatever its Length says
    base::write_u32(big, acpi::kLength, 70000);
    big[9] = static_cast<std::uint8_t>(0x100 - base::sum8(big));
    EXPECT_EQ(check_acpi_table(big), AcpiTableCheck::kWrongSize);
    big.resize(65536);
    base::write_u32(big, acpi::kLength, 65536);
    big[9] = 0;
    big[9] = static_cast<std::uint8_t>(0x100 - base::sum8(big));
    EXPECT_EQ(check_acpi_table(big), AcpiTableCheck::kGood);

    const std::optional<Bytes> dsdt = fixture("dsdt.aml");  // 65 bytes
    EXPECT_EQ(join_acpi_table(Bytes(32769, 1), dsdt, true).problem, AcpiJoinProblem::kBodyTooLarge);
    EXPECT_EQ(join_acpi_table(Bytes(40000, 1), dsdt, false).problem, AcpiJoinProblem::kNone);
    EXPECT_EQ(join_acpi_table(Bytes(65536 - 64, 1), dsdt, false).problem, AcpiJoinProblem::kTooLarge);
    EXPECT_EQ(join_acpi_table(Bytes(65536 - 65, 1), dsdt, false).table.size(), 65536u);
}

}  // namespace
}  // namespace kitra::convert

namespace kitra::convert {
namespace {

using testing::Module;
using testing::ToolFixture;

TEST(AcpiModules, AddedTablesAreCheckedForLengthAndChecksum) {
    const Bytes ssdt = fixture("ssdt.aml");
    ToolFixture f;
    f.write("ssdt.aml", ssdt);
    EXPECT_EQ(f.run({"/ACPIModule", "ssdt.aml"}).out, "Adding ssdt.aml  100.0%\n");
    EXPECT_EQ(f.modules(), (std::vector<Module>{{"ssdt.aml", 0x40C0, ssdt}}));

    // A wrong checksum is a warning: the table is added all the same.
    ToolFixture g;
    Bytes changed = ssdt;
    changed[0x40] ^= 1;
    g.write("ssdt.aml", changed);
    EXPECT_EQ(
        g.run({"/ACPIModule", "ssdt.aml"}).out,
        "Adding ssdt.aml  100.0%\nCAUTION: The checksum of ACPI module ssdt.aml file is not correct!\n");
    EXPECT_EQ(g.modules(), (std::vector<Module>{{"ssdt.aml", 0x40C0, changed}}));
}

TEST(AcpiModules, WrongSizeStopsTheRunWithStatusOneAndDiscardsIt) {
    Bytes longer = fixture("ssdt.aml");
    longer.push_back(0);
    ToolFixture f;
    f.write("oem.bin", Bytes(100, 1));
    f.write("ssdt.aml", longer);
    auto o = f.run({"/oem0", "oem.bin", "/ACPIModule", "ssdt.aml"});
    EXPECT_EQ(o.out,
              "Adding oem.bin  9.0%\nAdding ssdt.aml  100.0%\n"
              "The ACPI SDT module ssdt.aml file size is not correct! Please check it!\n");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(f.image(), f.image_bytes);

    // A ready module is unpacked for the check.
    codec::Encoder encoder;
    f.write("ready.lzh", codec::pack(longer, codec::PackMode::kQuiet, "t.aml", "40C0:0", encoder, {}));
    o = f.run({"/ACPIModule", "ready.lzh"});
    EXPECT_EQ(o.out,
              "Combine ready.lzh file to bios.bin...\n"
              "The ACPI SDT module ready.lzh file size is not correct! Please check it!\n");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(f.image(), f.image_bytes);
}

TEST(AcpiModules, ChoiceShowsTheRevisionBytesAsText) {
    ToolFixture f;
    testing::ImageBuilder b = testing::content_image();
    Bytes odd = fixture("dsdt.aml");
    odd[16] = 0x1B;  // an escape byte from an image is shown as "?"
    const std::uint64_t at =
        b.put_module(0x10000, testing::stored_module("ssdt.aml", "40C0:0", fixture("ssdt.aml")));
    b.put_module(at, testing::stored_module("dsdt.aml", "40C1:0", odd));
    f.write("bios.bin", b.bytes);
    const auto o = f.run({"/ACPIModule", "extract", "t.aml"}, "b");
    EXPECT_EQ(o.out,
              "ACPI table ROM - - -  : Index Signature OemTableId OemRevision FileName\n"
              // The revision's byte 1 is a control byte, shown as "?" too.
              "ACPI table ROM - - -  : A     SSDT      TESTSSDT   ?        ssdt.aml\n"
              "ACPI table ROM - - -  : B     DSDT      ?ESTDSDT           dsdt.aml\n"
              "Enter a choice:[ACPI module-B] ROM is extracted to t.aml\n");
    EXPECT_EQ(f.read("t.aml"), odd);
}

}  // namespace
}  // namespace kitra::convert
