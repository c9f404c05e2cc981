#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "cli/catalogue.h"
#include "support/scratch_file.h"

namespace kitra::cli {
namespace {

// A console whose output is kept in memory and whose input is the given
// bytes (an empty input lets the page pauses pass).
struct Captured {
    platform::Console con;
    explicit Captured(const std::string& input = "") {
        con.out = testing::scratch_file();
        con.err = con.out;
        con.in = testing::scratch_file();
        std::fwrite(input.data(), 1, input.size(), con.in);
        std::rewind(con.in);
    }
    ~Captured() {
        std::fclose(con.out);
        std::fclose(con.in);
    }
    std::string text() { return testing::scratch_contents(con.out); }
};

struct Result {
    StartUp start;
    std::string output;
    const Settings& settings() const { return start.settings.value(); }
};

const std::optional<std::string> kLast = std::string("6a69s000");

Result run(std::vector<std::string> args, const std::optional<std::string>& last = kLast) {
    Captured c;
    Result r;
    r.start = start_up(std::move(args), last, c.con);
    r.output = c.text();
    return r;
}

bool accepted(std::vector<std::string> args) {
    return run(std::move(args)).start.settings.has_value();
}

// The whole usage text, line by line, as users have always seen it.
// clang-format off
std::string expected_usage(const std::string& program, bool shortened) {
    return "Syntax:\n"
           "     " + program + " InputFile [/other] [8000:0] [RomFile|Release|Extract]\n"
           "     " + program + " InputFile [/D|logo|vga....] [RomFile|Release|Extract][checksum]\n"
           "          InputFile   : System BIOS to be added with Option ROMs\n"
           "          /D          : For display all combined ROMs informations in BIOS\n"
           "          /epa|epa1-7 : Add EPA LOGO BitMap to System BIOS\n"
           "          /logo|logo1-7: Add OEM LOGO BitMap to System BIOS\n"
           "          /osb_logo|osb_logo1-7: Add OSB LOGO BitMap to System BIOS\n"
           "          /osb_bmp|osb_bmp1-7: Add OSB CPU BitMap to System BIOS\n"
           "          /oem0-7     : Add special OEM ROM to System BIOS\n"
           "          /err        : Return error code after executed\n"
           "          /btvga      : Add VGA ROM to Boot Rom Block Area.\n"
           "          /isa        : Add ISA BIOS ROM to System BIOS.(/isa Filename [xxxx:0])"
           "          /vga, /logo, /pci, /mrvflash, /cpucode, /epa, /acpitbl, /vsa, /hpm\n"
           "          /hpc, /fnt0 - 5, /ros, /nnoprom, /mib, /group0-5, /NoCompress\n"
           "          /jpeg|jpeg1-3: Add JPEG LOGO to System BIOS\n"
           "          /gif0-3 : Add GIF LOGO to System BIOS\n"
           "          /rpb        : Add RPB ROM to System BIOS\n"
           "          /ver        : Add version table of source code to System BIOS\n"
           "          /jpeg_eng   : Add JPEG engine to System BIOS\n"
           "          /nc_cpucode : Add non-compress cpu code\n"
           "  - Page - [Press any key....]\n"
           "          /srom0-4    : Add software ROM\n"
           "          /setup0-1   : Add setup ROM\n"
           "          /biosf0-9   : Add BIOS feature ROM\n"
           "          /GV3        : Add GV3 ROM\n"
           "          /CALS       : Calculate ROM Compress size but not add ROM in BIN file\n"
           "          /efi0-9     : Add EFI feature ROM\n"
           "          /minit      : Add Intel memory module\n"
           "          /NVMM       : Add nVIDIA memory module\n"
           "          /mpdrv      : Add TPM MP driver\n"
           "          /madrv      : Add TPM MA driver\n"
           "          /tcgsmi     : Add TCG 32 bit smi code\n"
           "          /flshcode   : Add flash part code\n"
           "          /NVPMU      : Add PMU ROM\n"
           "          /BTMEM      : Add memsizing module in bootblock\n"
           "          /HOLE0-7    : Add option ROM in hole\n"
           "          /htinit     : Add AMD HT init module\n"
           "  - Page - [Press any key....]\n"
           "          /1pe32      : Add type 1 PE32 module in mainblock\n"
           "          /1pe32b     : Add type 1 PE32 module in bootblock\n"
           "          /2pe32      : Add type 2 PE32 module in mainblock\n"
           "          /2pe32b     : Add type 2 PE32 module in bootblock\n"
           "          /3pe32      : Add type 3 PE32 module in mainblock\n"
           "          /3pe32b     : Add type 3 PE32 module in bootblock\n"
           "          /4pe32      : Add type 4 PE32 module in mainblock\n"
           "          /4pe32b     : Add type 4 PE32 module in bootblock\n"
           "          /ACPIModule : Add ACPI module, such as SSDT module.\n"
           "          /SMI32      : Add 32-bit SMI module.\n"
           "          /SMIAP      : Add application SMI module.\n"
           "          RomFile     : File name of option ROM to add-in\n"
           "          noreserve   : No reserve system color for BMP logo\n"
           "          Release     : Release option ROM in current system BIOS\n"
           "          Extract     : Extract option ROM to File in current system BIOS\n"
           "          checksum    : Add checksum for Hole0~7 module at end of the hole.\n"
           "  - Page - [Press any key....]\n"
           "          /BOI UseDHCP Server_IP Static_IP Net_Mask Gate_Way DNS UseProxy \n"
           "            Proxy_IP ProxyPort:  Setting Boot On Internet parameters.\n"
           "          /BOI                :  Show the Boot On Internet parameters.\n"
           "               Example 1 for setting the BOI parameters:\n"
           "               kitra /boi 1 \n"
           "                   192.168.1.1 192.168.1.100 255.255.255.0 192.168.1.254 192.168.1.254 0 "
           "192.168.1.8 32896\n"
           "               Example 2 for setting the BOI parameters:\n"
           "               kitra /boi 1, 192.168.1.1, , , , , 0, , 32896\n"
           "               Example 3 for show the BOI parameters:\n"
           "               kitra /boi\n"
           "          /TopHole:address    : Add a module at fixed address.\n"
           "               Example: kitra /TopHole:FFFD0000 xxx.bin \n"
           "          /osb_logo_gui|osb_logo1-7_gui: Add GUI OSB LOGO BitMap to System BIOS\n"
           "          /osb_bmp_gui|osb_bmp1-7_gui: Add GUI OSB CPU BitMap to System BIOS\n"
           "          /tseg0-3   : Add TSEG0~3.bin to ROM\n"
           "                      <<< Examples >>>\n"
           "            " + program + " 6a69s000.bin /D\n"
           "            " + program + " 6a69s000.bin /VGA filename\n"
           "            " + program + " 6a69s000.bin /VGA filename /ERR" + (shortened ? "\n" : "");
}
// clang-format on

const std::string kBanner = " V1.99 [02/12/2010]\n";

TEST(Usage, NoArgumentsPrintBannerAndUsageInTheShortForm) {
    const Result r = run({"kitra"});
    EXPECT_FALSE(r.start.settings);
    EXPECT_EQ(r.start.exit_status, 0);
    EXPECT_EQ(r.output, "kitra" + kBanner + expected_usage("kitra", false));
}

TEST(Usage, PathOfNineteenCharactersIsShownWhole) {
    const std::string path = "c:\\tools\\kitra.exe1";  // 19 characters
    ASSERT_EQ(path.size(), 19u);
    EXPECT_EQ(run({path}).output, path + kBanner + expected_usage(path, false));
}

TEST(Usage, LongPathIsShownAsDriveAndFileName) {
    const std::string path = "c:\\tools\\bin\\kitra.exe";
    EXPECT_EQ(run({path}).output, path + kBanner + expected_usage("c:\\...\\kitra.exe", true));
}

TEST(Usage, LongPathWithoutBackslashKeepsTheWholePath) {
    const std::string path = "/usr/local/bin/kitra-tool";
    EXPECT_EQ(run({path}).output, path + kBanner + expected_usage("/:\\...\\" + path, true));
}

TEST(Usage, EachPauseTakesOneKey) {
    Captured c("abcd");
    print_usage("kitra", c.con);
    EXPECT_EQ(std::ftell(c.con.in), 3);
    EXPECT_EQ(c.text(), expected_usage("kitra", false));
}

TEST(Usage, UnusableArgumentsShowTheUsage) {
    EXPECT_EQ(run({"kitra", "bios.bin"}).output, "kitra" + kBanner + expected_usage("kitra", false));
    EXPECT_FALSE(accepted({"kitra", "bios.bin", "/vga"}));
    EXPECT_FALSE(accepted({"kitra", "bios.bin", "notanoption", "x"}));
    EXPECT_TRUE(accepted({"kitra", "bios.bin", "/cpucode"}));
    EXPECT_TRUE(accepted({"kitra", "bios.bin", "/D"}));
    EXPECT_EQ(run({"kitra", "bios.bin", "/vga"}).start.exit_status, 0);
}

TEST(StartUp, OptionsThatMayStandAlone) {
    const std::vector<int> alone = {2, 3, 5, 7, 8, 9, 10, 11, 14, 15, 37, 138};
    const std::vector<int> after_image = {2, 3, 5, 7, 8, 9, 10, 11, 14, 15, 138};
    for (const CatalogueEntry& entry : catalogue()) {
        const std::string option(entry.option);
        const bool one = std::find(alone.begin(), alone.end(), entry.code) != alone.end();
        const bool two = std::find(after_image.begin(), after_image.end(), entry.code) != after_image.end();
        EXPECT_EQ(accepted({"kitra", option}), one) << option;
        EXPECT_EQ(accepted({"kitra", "bios.bin", option}), two) << option;
        // With its RomFile every option is usable, except the two that take no
        // single word: /D must be last and /BOI takes nine values or none.
        const bool with_file = entry.code != 7 && entry.code != 138;
        EXPECT_EQ(accepted({"kitra", option, "x.rom"}), with_file) << option;
        EXPECT_EQ(accepted({"kitra", "bios.bin", option, "x.rom"}), with_file) << option;
    }
}

TEST(StartUp, ImageNamedByInputFileOrLast) {
    Result r = run({"kitra", "bios.bin", "/vga", "v.rom"});
    EXPECT_EQ(r.output, "kitra" + kBanner);
    EXPECT_EQ(r.settings().image_name, "bios.bin");
    EXPECT_EQ(r.settings().first_option_index, 2);
    EXPECT_EQ(r.settings().first_option_code, 1);
    EXPECT_EQ(r.settings().args, (std::vector<std::string>{"kitra", "bios.bin", "/vga", "v.rom"}));

    r = run({"kitra", "/D"});
    EXPECT_EQ(r.settings().image_name, "6a69s000.bin");
    EXPECT_EQ(r.settings().first_option_index, 1);
    EXPECT_EQ(r.settings().first_option_code, 7);
}

TEST(StartUp, LastUnsetEndsTheRunWithStatusZeroOrOneWithErr) {
    Result r = run({"kitra", "/D"}, std::nullopt);
    EXPECT_FALSE(r.start.settings);
    EXPECT_EQ(r.start.exit_status, 0);
    EXPECT_EQ(r.output, "kitra" + kBanner + "Not settype so unknow BIOS file name...");

    r = run({"kitra", "/vga", "v.rom", "/ERR"}, std::nullopt);
    EXPECT_FALSE(r.start.settings);
    EXPECT_EQ(r.start.exit_status, 1);
    EXPECT_EQ(r.output, "kitra" + kBanner + "Not settype so unknow BIOS file name...");

    // With an InputFile _last is not needed.
    EXPECT_TRUE(run({"kitra", "bios.bin", "/D"}, std::nullopt).start.settings);
}

TEST(StartUp, ErrAnywhereSetsTheErrorMode) {
    EXPECT_TRUE(run({"kitra", "bios.bin", "/vga", "v.rom", "/err"}).settings().error_mode);
    EXPECT_TRUE(run({"kitra", "bios.bin", "/vga", "v.rom", "/Err", "/pci", "p.rom"}).settings().error_mode);
    // Not an option: as the first item it leaves nothing to run.
    EXPECT_FALSE(accepted({"kitra", "bios.bin", "/err", "/vga", "v.rom"}));
    EXPECT_FALSE(run({"kitra", "bios.bin", "/vga", "v.rom"}).settings().error_mode);
    EXPECT_FALSE(run({"/err", "bios.bin", "/vga", "v.rom"}).settings().error_mode);  // the program path
}

TEST(StartUp, DisplayMustBeLast) {
    EXPECT_FALSE(accepted({"kitra", "bios.bin", "/D", "/err"}));
    EXPECT_FALSE(accepted({"kitra", "/d", "x"}));
    EXPECT_TRUE(accepted({"kitra", "bios.bin", "/D"}));
    EXPECT_TRUE(accepted({"kitra", "bios.bin", "/vga", "v.rom", "/D"}));
}

TEST(StartUp, TopHoleAddress) {
    Result r = run({"kitra", "/TopHole:FFFD0000", "xxx.bin"});
    EXPECT_EQ(r.settings().top_hole_address, 0xFFFD0000u);
    EXPECT_EQ(r.settings().first_option_code, 144);
    // The item loop starts at the cut option, not at its RomFile.
    EXPECT_EQ(r.settings().first_option_index, 1);
    EXPECT_EQ(r.settings().args[1], "/TopHole");
    EXPECT_EQ(lookup_option(r.settings().args[1]), 144);
    EXPECT_EQ(r.settings().image_name, "6a69s000.bin");

    EXPECT_EQ(run({"kitra", "/TopHole:1000", "x.bin"}).settings().top_hole_address, 0x1000u);
    EXPECT_EQ(run({"kitra", "/TopHole:80000000", "x.bin"}).settings().top_hole_address, 0x80000000u);
    EXPECT_EQ(run({"kitra", "/TopHole:FFFD0000123", "x.bin"}).settings().top_hole_address, 0xFFFD0000u);
    EXPECT_EQ(run({"kitra", "/TopHole:", "x.bin"}).settings().top_hole_address, 0u);
    EXPECT_EQ(run({"kitra", "/tophole:fffe0000", "x.bin"}).settings().top_hole_address, 0xFFFE0000u);
    EXPECT_EQ(run({"kitra", "/TopHole:" + std::string(10000, 'F'), "x.bin"}).settings().top_hole_address,
              0xFFFFFFFFu);

    r = run({"kitra", "bios.bin", "/TopHole:FFFD0000", "x.bin"});
    EXPECT_EQ(r.settings().top_hole_address, 0xFFFD0000u);
    EXPECT_EQ(r.settings().first_option_code, 144);
    EXPECT_EQ(r.settings().first_option_index, 2);
    EXPECT_EQ(r.settings().args[2], "/TopHole");
    EXPECT_EQ(r.settings().image_name, "bios.bin");

    EXPECT_FALSE(accepted({"kitra", "/TopHole:FFFD0000"}));  // needs its RomFile
}

TEST(StartUp, GroupNumber) {
    Result r = run({"kitra", "bios.bin", "/group3", "grp.bin"});
    EXPECT_EQ(r.settings().group_number, 3);
    EXPECT_EQ(r.settings().first_option_code, 53);
    EXPECT_EQ(r.settings().args[2], "/group");

    r = run({"kitra", "/GROUP", "grp.bin"});
    EXPECT_EQ(r.settings().group_number, 0);
    EXPECT_EQ(r.settings().first_option_code, 53);

    EXPECT_EQ(run({"kitra", "/group12", "g"}).settings().group_number, 12);
    EXPECT_EQ(run({"kitra", "/group-2", "g"}).settings().group_number, -2);
    EXPECT_EQ(run({"kitra", "/group" + std::string(10000, '9'), "g"}).settings().group_number, INT_MAX);
    EXPECT_EQ(run({"kitra", "/group-" + std::string(10000, '9'), "g"}).settings().group_number, INT_MIN);
}

// "noreserve" counts in both forms of the command line: anywhere when the
// first item is a logo that takes it, and right after such an item's file.
TEST(StartUp, NoReserveAfterALogoInBothForms) {
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{"kitra", "/logo", "pic.bmp", "noreserve"}, true},
        {{"kitra", "/OSB_LOGO7", "pic.bmp", "NoReserve"}, true},
        {{"kitra", "bios.bin", "/logo", "pic.bmp", "noreserve"}, true},
        {{"kitra", "bios.bin", "/logo", "pic.bmp", "/vga", "v.rom", "noreserve"}, true},
        {{"kitra", "bios.bin", "/vga", "v.rom", "/logo1", "pic.bmp", "noreserve"}, true},
        {{"kitra", "bios.bin", "/logo", "pic.bmp"}, false},
        {{"kitra", "bios.bin", "/vga", "v.rom", "noreserve"}, false},
        {{"kitra", "bios.bin", "/vga", "v.rom", "/epa", "pic.bmp", "noreserve"}, false},  // no such word
        {{"kitra", "/vga", "v.rom", "noreserve"}, false},
        {{"kitra", "/OSB_LOGO", "pic.bmp", "noreserve"}, false},  // code 55
    };
    for (const auto& [args, expected] : cases)
        EXPECT_EQ(run(args).settings().no_reserve, expected) << args[2];
}

TEST(StartUp, LogoPositionOnlyWithoutInputFileAndFourArguments) {
    Result r = run({"kitra", "/OSB_BMP", "pic.bmp", "100", "50"});
    EXPECT_TRUE(r.settings().logo_position.present);
    EXPECT_EQ(r.settings().logo_position.x, 100);
    EXPECT_EQ(r.settings().logo_position.y, 50);

    r = run({"kitra", "/osb_bmp7_gui", "pic.bmp", "-5", "y"});
    EXPECT_TRUE(r.settings().logo_position.present);
    EXPECT_EQ(r.settings().logo_position.x, -5);
    EXPECT_EQ(r.settings().logo_position.y, 0);

    EXPECT_FALSE(
        run({"kitra", "bios.bin", "/OSB_BMP", "pic.bmp", "100", "50"}).settings().logo_position.present);
    EXPECT_FALSE(run({"kitra", "/OSB_BMP", "pic.bmp", "100"}).settings().logo_position.present);
    EXPECT_FALSE(run({"kitra", "/logo", "pic.bmp", "100", "50"}).settings().logo_position.present);
}

TEST(StartUp, BootOnInternetValues) {
    const std::vector<std::string> values = {"5",       "10.0.0.1", "",   ",",    "255.255.255.0,",
                                             "1,2,3,4", "0",        ",x", "32896"};
    BoiValues expected;
    expected.use_dhcp = 1;
    expected.server_ip = Address{10, 0, 0, 1};
    expected.gate_way = Address{255, 255, 255, 0};
    expected.dns = Address{1, 2, 3, 4};
    expected.use_proxy = 0;
    expected.proxy_port = 32896;
    std::vector<std::string> args = {"kitra", "/BOI"};
    args.insert(args.end(), values.begin(), values.end());
    Result r = run(args);
    EXPECT_EQ(r.settings().boi_values, expected);
    EXPECT_FALSE(r.settings().boi_show);

    args[1] = "bios.bin";
    args.insert(args.begin() + 2, "/boi");
    EXPECT_EQ(run(args).settings().boi_values, expected);
    // /err is the run's switch, not a tenth value.
    args.emplace_back("/ERR");
    r = run(args);
    EXPECT_TRUE(r.settings().error_mode);
    EXPECT_EQ(r.settings().boi_values, expected);

    r = run({"kitra", "bios.bin", "/BOI"});
    EXPECT_TRUE(r.settings().boi_show);
    EXPECT_EQ(r.settings().boi_values, BoiValues{});

    const std::string wrong =
        "kitra" + kBanner + "The input BOI parameters are wrong!\n" + expected_usage("kitra", false);
    r = run({"kitra", "bios.bin", "/boi", "1", "2"});
    EXPECT_FALSE(r.start.settings);
    EXPECT_EQ(r.start.exit_status, 0);
    EXPECT_EQ(r.output, wrong);
    // An address of three pieces would leave a byte of its field unset.
    r = run({"kitra", "bios.bin", "/boi", "1", "10.0.0", "", "", "", "", "", "", ""});
    EXPECT_FALSE(r.start.settings);
    EXPECT_EQ(r.output, wrong);
}

TEST(StartUp, DataAlignmentOfThePe32Options) {
    for (const char* option : {"/1PE32", "/2pe32b", "/3PE32", "/4PE32B"})
        EXPECT_EQ(run({"kitra", "bios.bin", option, "m.efi"}).settings().data_alignment, 128) << option;
    for (const char* option : {"/vga", "/SMI32", "/HTINIT", "/ACPIModule"})
        EXPECT_EQ(run({"kitra", "bios.bin", option, "m.efi"}).settings().data_alignment, 16) << option;
}

TEST(StartUp, OddArgumentsDoNotCrash) {
    const std::string long_word(10000, 'x');
    const std::vector<std::vector<std::string>> cases = {
        {},
        {""},
        {"", ""},
        {long_word},
        {"kitra", long_word},
        {"kitra", "/group" + std::string(10000, '1')},
        {"kitra", "/TopHole:" + long_word, long_word},
        {"kitra", "\xff\xfe\x80", "/vga", "\xc3\xa9.rom"},
        {"kitra", "bios.bin", "/boi", "", "", "", "", "", "", "", "", ""},
        {"kitra", "/OSB_BMP", "", "", ""},
        {"kitra", "bios.bin", "/group", ""},
        {"kitra", "bios.bin", std::string("/vga\0x", 6), "x"},
    };
    for (const auto& args : cases) {
        const Result r = run(args);
        EXPECT_FALSE(r.output.empty());
    }
    EXPECT_EQ(run({long_word + "\\kitra"}).output.find("Syntax:\n     x:\\...\\kitra InputFile"),
              long_word.size() + 6 + kBanner.size());
}

}  // namespace
}  // namespace kitra::cli
