// Options given without a component file take their built-in inputs: the
// prepared files left in the directory, the module added, and the exact
// messages when an input is missing or unusable.
#include "convert/default_inputs.h"

#include "convert/logo_bitmap.h"
#include "convert/tool_fixture.h"
#include "support/bmp_writer.h"
#include "support/crafted_images.h"

namespace kitra::convert {
namespace {

using base::Bytes;
using testing::Module;
using testing::ToolFixture;

using testing::executable_of;

Bytes joined(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kBody = testing::pseudo_random_bytes(700, 21);  // stored: "100.0%"
const Bytes kDsdt = testing::pseudo_random_bytes(300, 22);

TEST(DefaultInputs, ExecutableBodiesArePreparedAsBinFilesAndAdded) {
    struct Case {
        const char* option;
        const char* exe;
        const char* bin;
        std::uint16_t type_id;
    };
    for (const Case c :
         {Case{"/cpucode", "CPUCODE.EXE", "CPUCODE.BIN", 0x4001}, Case{"/hpc", "HPM.EXE", "HPM.BIN", 0x4006},
          Case{"/epa", "MORVAEPA.EXE", "MORVAEPA.BIN", 0x4002}}) {
        ToolFixture f;
        f.write(c.exe, executable_of(kBody));
        const auto o = f.run({c.option});
        EXPECT_EQ(o.out,
                  std::string("Adding ") + c.bin + "  100.0%\nCombine " + c.bin + " file to bios.bin...\n");
        EXPECT_EQ(f.read(c.bin), kBody) << c.option;
        EXPECT_EQ(f.modules(), (std::vector<Module>{{c.bin, c.type_id, kBody}})) << c.option;
    }
}

TEST(DefaultInputs, MissingOrBodilessExecutablesAddNothing) {
    ToolFixture f;
    auto o = f.run({"/hpc", "/err"});
    EXPECT_EQ(o.out, "HPM.EXE file open error !!!\n\n\n!!! Combine HPC have some error.\n");
    EXPECT_EQ(o.status, 15);

    // Not "MZ", or nothing after the header: the old ".BIN" stays.
    f.write("HPM.BIN", {1, 2, 3});
    for (const Bytes& exe : {Bytes(100, 'x'), executable_of({}), Bytes{}}) {
        f.write("HPM.EXE", exe);
        o = f.run({"/hpc", "/err"});
        EXPECT_EQ(
            o.out,
            "HPM.EXE is no \"MZ\" executable with a body; nothing is added and HPM.BIN is left as it was.\n"
            "\n!!! Combine HPC have some error.\n");
        EXPECT_EQ(f.read("HPM.BIN"), (Bytes{1, 2, 3}));
    }
    EXPECT_EQ(f.image(), f.image_bytes);

    // A body that claims to be a picture and is none adds nothing either.
    f.write("MORVAEPA.EXE", executable_of(joined({'B', 'M'}, kBody)));
    EXPECT_EQ(f.run({"/epa"}).out, "Bitmap MORVAEPA.BIN is cut short; it is not added.\n");
    EXPECT_EQ(f.read("MORVAEPA.BIN"), joined({'B', 'M'}, kBody));
    EXPECT_EQ(f.image(), f.image_bytes);
}

// A picture as the body of MORVAEPA.EXE becomes an EPA logo, whatever the
// image's logo flags byte says, stored as "MorvaBmp.bmp".
TEST(DefaultInputs, EpaBodyThatIsAPictureBecomesAnEpaLogo) {
    ToolFixture f;
    testing::Picture picture;
    picture.width = 8;
    picture.height = 2;
    picture.bits = 4;
    picture.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    picture.pixels = {0, 1, 2, 3, 0, 1, 2, 3, 3, 2, 1, 0, 3, 2, 1, 0};
    const Bytes bmp = testing::write_bmp(picture);
    f.write("MORVAEPA.EXE", executable_of(bmp));
    const auto o = f.run({"/epa"});
    const auto converted = convert_bitmap(cli::Bitmap::kEpa, bmp, "MORVAEPA.BIN", {});
    ASSERT_TRUE(std::holds_alternative<Bytes>(converted));
    EXPECT_EQ(o.out.substr(o.out.find('%')), "%\nCombine MORVAEPA.BIN file to bios.bin...\n");
    EXPECT_EQ(o.out.substr(0, 20), "Adding MorvaBmp.bmp ");
    EXPECT_EQ(f.read("MORVAEPA.BIN"), bmp);
    EXPECT_EQ(f.modules(), (std::vector<Module>{{"MorvaBmp.bmp", 0x4002, std::get<Bytes>(converted)}}));
}

TEST(DefaultInputs, ReadyModulesAndPlainFilesComeFromTheirFixedNames) {
    ToolFixture f;
    f.write("x.bin", Bytes(100, 1));
    auto o = f.run({"/oem0", "x.bin", "/vsa", "/hpm"});
    EXPECT_EQ(o.out,
              "Adding x.bin  9.0%\nNot found i:\\eprom\\vsa66.bin file !!!\nNot found SMI.BIN file !!!\n");
#ifdef _WIN32
    GTEST_SKIP() << "on Windows the library path i:\\eprom\\ is on drive I:, which a test cannot make";
#endif

    codec::Encoder encoder;
    const Bytes vsa = codec::pack(kBody, codec::PackMode::kQuiet, "vsa.bin", "4004:0", encoder, {});
    const Bytes rom = testing::option_rom(0x9004, 0x7850, 2, 5);
    f.write("i:\\eprom\\vsa66.bin", vsa);
    f.write("i:\\eprom\\aha7850.rom",
            codec::pack(rom, codec::PackMode::kQuiet, "aha.rom", "4086:0", encoder, {}));
    f.write("SMI.BIN", kDsdt);
    o = f.run({"/oem0", "x.bin", "/vsa", "/hpm", "/aha"});
    EXPECT_EQ(o.out,
              "Adding x.bin  9.0%\nCombine i:\\eprom\\vsa66.bin file to bios.bin...\n"
              "Adding SMI.BIN  100.0%\nCombine SMI.BIN file to bios.bin...\n"
              "Combine i:\\eprom\\aha7850.rom file to bios.bin...\n");
    EXPECT_EQ(f.modules(), (std::vector<Module>{{"x.bin", 0x4012, Bytes(100, 1)},
                                                {"vsa.bin", 0x4004, kBody},
                                                {"SMI.BIN", 0x4005, kDsdt},
                                                {"aha.rom", 0x4086, rom}}));

    // A file at a library path that is no module is never put into the chain.
    f.write("i:\\eprom\\vsa66.bin", kBody);
    EXPECT_EQ(f.run({"/oem0", "x.bin", "/vsa"}).out,
              "Adding x.bin  9.0%\ni:\\eprom\\vsa66.bin is not a module; nothing is added.\n");
}

TEST(DefaultInputs, AcpiTableInputsAreJoinedWithTheDsdtInMemory) {
    ToolFixture f;
    EXPECT_EQ(f.run({"/acpi"}).out, "Not found ACPITBL.BIN file !!!\n");

    // /acpi: "ACPITBL.BIN" and "DSDT.AML" joined; neither file changes, so a
    // second run adds the same table again.
    f.write("ACPITBL.BIN", kBody);
    f.write("DSDT.AML", kDsdt);
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(f.run({"/acpi"}).out,
                  "Adding ACPITBL.BIN  100.0%\nCombine ACPITBL.BIN file to bios.bin...\n");
        EXPECT_EQ(f.modules(), (std::vector<Module>{{"ACPITBL.BIN", 0x4003, joined(kBody, kDsdt)}}));
        EXPECT_EQ(f.read("ACPITBL.BIN"), kBody);
    }

    // /acpitbl: the executable's body from byte 32 on, written afresh with
    // the DSDT behind it.
    f.write("ACPITBL.EXE", executable_of(kDsdt));
    EXPECT_EQ(f.run({"/acpitbl"}).out,
              "Adding ACPITBL.BIN  60.0%\nCombine ACPITBL.BIN file to bios.bin...\n");
    EXPECT_EQ(f.read("ACPITBL.BIN"), joined(kDsdt, kDsdt));
    EXPECT_EQ(f.modules(), (std::vector<Module>{{"ACPITBL.BIN", 0x4003, joined(kDsdt, kDsdt)}}));

    // No executable: the "ACPITBL.BIN" there is the body, left as it is.
    f.write("ACPITBL.BIN", kBody);
    f.write("ACPITBL.EXE", Bytes(10, 'x'));
    EXPECT_EQ(f.run({"/acpitbl"}).status, 0);
    EXPECT_EQ(f.modules(), (std::vector<Module>{{"ACPITBL.BIN", 0x4003, joined(kBody, kDsdt)}}));
    EXPECT_EQ(f.read("ACPITBL.BIN"), kBody);

    // Too large to be read whole by the firmware: refused, nothing written.
    const Bytes before = f.image();
    f.write("ACPITBL.EXE", executable_of(Bytes(32769, 1)));
    EXPECT_EQ(f.run({"/acpitbl"}).out,
              "The table body of ACPITBL.EXE has 32769 bytes, more than 32768; nothing is added.\n");
    f.write("ACPITBL.BIN", Bytes(65300, 1));
    EXPECT_EQ(f.run({"/acpi"}).out,
              "ACPITBL.BIN with DSDT.AML behind it has 65600 bytes, more than 65536; nothing is added.\n");
    EXPECT_EQ(f.read("ACPITBL.BIN"), Bytes(65300, 1));
    EXPECT_EQ(f.image(), before);
}

}  // namespace
}  // namespace kitra::convert
