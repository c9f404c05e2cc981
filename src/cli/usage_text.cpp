// The usage text: four screens of a 25-line console, with a pause after each
// of the first three so that nothing scrolls away before it is read. At the
// end of input (a script, a pipe) a pause simply passes.
#include <array>
#include <string>
#include <string_view>

#include "cli/command_line.h"

namespace kitra::cli {

namespace {

// A program path longer than this is shortened so that the syntax lines stay
// on one screen line.
constexpr std::size_t kMaxShownPath = 19;

constexpr auto kFirstPage = std::to_array<std::string_view>({
    "          InputFile   : System BIOS to be added with Option ROMs\n",
    "          /D          : For display all combined ROMs informations in BIOS\n",
    "          /epa|epa1-7 : Add EPA LOGO BitMap to System BIOS\n",
    "          /logo|logo1-7: Add OEM LOGO BitMap to System BIOS\n",
    "          /osb_logo|osb_logo1-7: Add OSB LOGO BitMap to System BIOS\n",
    "          /osb_bmp|osb_bmp1-7: Add OSB CPU BitMap to System BIOS\n",
    "          /oem0-7     : Add special OEM ROM to System BIOS\n",
    "          /err        : Return error code after executed\n",
    "          /btvga      : Add VGA ROM to Boot Rom Block Area.\n",
    // No line end: the line is exactly as wide as the screen, so the next
    // one starts on a screen line of its own anyway.
    "          /isa        : Add ISA BIOS ROM to System BIOS.(/isa Filename [xxxx:0])",
    "          /vga, /logo, /pci, /mrvflash, /cpucode, /epa, /acpitbl, /vsa, /hpm\n",
    "          /hpc, /fnt0 - 5, /ros, /nnoprom, /mib, /group0-5, /NoCompress\n",
    "          /jpeg|jpeg1-3: Add JPEG LOGO to System BIOS\n",
    "          /gif0-3 : Add GIF LOGO to System BIOS\n",
    "          /rpb        : Add RPB ROM to System BIOS\n",
    "          /ver        : Add version table of source code to System BIOS\n",
    "          /jpeg_eng   : Add JPEG engine to System BIOS\n",
    "          /nc_cpucode : Add non-compress cpu code\n",
});

constexpr auto kSecondPage = std::to_array<std::string_view>({
    "          /srom0-4    : Add software ROM\n",
    "          /setup0-1   : Add setup ROM\n",
    "          /biosf0-9   : Add BIOS feature ROM\n",
    "          /GV3        : Add GV3 ROM\n",
    "          /CALS       : Calculate ROM Compress size but not add ROM in BIN file\n",
    "          /efi0-9     : Add EFI feature ROM\n",
    "          /minit      : Add Intel memory module\n",
    "          /NVMM       : Add nVIDIA memory module\n",
    "          /mpdrv      : Add TPM MP driver\n",
    "          /madrv      : Add TPM MA driver\n",
    "          /tcgsmi     : Add TCG 32 bit smi code\n",
    "          /flshcode   : Add flash part code\n",
    "          /NVPMU      : Add PMU ROM\n",
    "          /BTMEM      : Add memsizing module in bootblock\n",
    "          /HOLE0-7    : Add option ROM in hole\n",
    "          /htinit     : Add AMD HT init module\n",
});

constexpr auto kThirdPage = std::to_array<std::string_view>({
    "          /1pe32      : Add type 1 PE32 module in mainblock\n",
    "          /1pe32b     : Add type 1 PE32 module in bootblock\n",
    "          /2pe32      : Add type 2 PE32 module in mainblock\n",
    "          /2pe32b     : Add type 2 PE32 module in bootblock\n",
    "          /3pe32      : Add type 3 PE32 module in mainblock\n",
    "          /3pe32b     : Add type 3 PE32 module in bootblock\n",
    "          /4pe32      : Add type 4 PE32 module in mainblock\n",
    "          /4pe32b     : Add type 4 PE32 module in bootblock\n",
    "          /ACPIModule : Add ACPI module, such as SSDT module.\n",
    "          /SMI32      : Add 32-bit SMI module.\n",
    "          /SMIAP      : Add application SMI module.\n",
    "          RomFile     : File name of option ROM to add-in\n",
    "          noreserve   : No reserve system color for BMP logo\n",
    "          Release     : Release option ROM in current system BIOS\n",
    "          Extract     : Extract option ROM to File in current system BIOS\n",
    "          checksum    : Add checksum for Hole0~7 module at end of the hole.\n",
});

// The Boot On Internet values in their order: UseDHCP, Server_IP, Static_IP,
// Net_Mask, Gate_Way, DNS, UseProxy, Proxy_IP, ProxyPort. In the second
// example a lone "," leaves a value as it is; the port stands as a word of
// its own, since a word that starts with a comma is a value left out.
constexpr auto kLastPage = std::to_array<std::string_view>({
    "          /BOI UseDHCP Server_IP Static_IP Net_Mask Gate_Way DNS UseProxy \n",
    "            Proxy_IP ProxyPort:  Setting Boot On Internet parameters.\n",
    "          /BOI                :  Show the Boot On Internet parameters.\n",
    "               Example 1 for setting the BOI parameters:\n",
    "               kitra /boi 1 \n",
    "                   192.168.1.1 192.168.1.100 255.255.255.0 192.168.1.254 192.168.1.254 0 192.168.1.8 "
    "32896\n",
    "               Example 2 for setting the BOI parameters:\n",
    "               kitra /boi 1, 192.168.1.1, , , , , 0, , 32896\n",
    "               Example 3 for show the BOI parameters:\n",
    "               kitra /boi\n",
    "          /TopHole:address    : Add a module at fixed address.\n",
    "               Example: kitra /TopHole:FFFD0000 xxx.bin \n",
    "          /osb_logo_gui|osb_logo1-7_gui: Add GUI OSB LOGO BitMap to System BIOS\n",
    "          /osb_bmp_gui|osb_bmp1-7_gui: Add GUI OSB CPU BitMap to System BIOS\n",
    "          /tseg0-3   : Add TSEG0~3.bin to ROM\n",
    "                      <<< Examples >>>\n",
});

template <std::size_t N>
void write_lines(platform::Console& con, const std::array<std::string_view, N>& lines) {
    for (std::string_view line : lines) platform::write(con, line);
}

void pause(platform::Console& con) {
    platform::write(con, "  - Page - [Press any key....]\n");
    (void)platform::read_key(con);  // any key, or the end of input, goes on
}

// A long path is shown as its drive letter and its file name.
std::string shown_program(const std::string& path) {
    if (path.size() <= kMaxShownPath) return path;
    const std::size_t slash = path.rfind('\\');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return std::string(1, path[0]) + ":\\...\\" + name;
}

}  // namespace

void print_usage(const std::string& program_path, platform::Console& con) {
    const std::string program = shown_program(program_path);
    const bool shortened = program_path.size() > kMaxShownPath;
    platform::write(con, "Syntax:\n");
    platform::write(con, "     " + program + " InputFile [/other] [8000:0] [RomFile|Release|Extract]\n");
    platform::write(con,
                    "     " + program + " InputFile [/D|logo|vga....] [RomFile|Release|Extract][checksum]\n");
    write_lines(con, kFirstPage);
    pause(con);
    write_lines(con, kSecondPage);
    pause(con);
    write_lines(con, kThirdPage);
    pause(con);
    write_lines(con, kLastPage);
    platform::write(con, "            " + program + " 6a69s000.bin /D\n");
    platform::write(con, "            " + program + " 6a69s000.bin /VGA filename\n");
    // The short form leaves the cursor after the last example, the long form
    // ends the line.
    platform::write(con,
                    "            " + program + " 6a69s000.bin /VGA filename /ERR" + (shortened ? "\n" : ""));
}

}  // namespace kitra::cli
