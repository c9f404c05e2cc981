#include "cli/catalogue.h"

#include <algorithm>
#include <array>

#include "base/text.h"

namespace kitra::cli {

namespace {

constexpr Listing kFixed = Listing::kFixed;
constexpr Listing kFamily = Listing::kFamily;
constexpr Listing kByTypeId = Listing::kByTypeId;
constexpr Listing kBootblock = Listing::kBootblock;
constexpr Listing kNotListed = Listing::kNotListed;

// The kinds of component. Each option's entry names one; what it says is
// read by the item loop and the operations (see catalogue.h).
constexpr Kind kModule{};
constexpr Kind kWholeExecutable{.executable = Executable::kWhole};
constexpr Kind kFlashCode{.bitmap = Bitmap::kAsItIs, .executable = Executable::kWhole};
constexpr Kind kVgaRom{.family = Family::kVga};
constexpr Kind kPciRom{.family = Family::kPci};
constexpr Kind kIsaRom{.family = Family::kIsa};
constexpr Kind kGroupModule{.family = Family::kGroup};
constexpr Kind kAcpiSdtModule{.family = Family::kAcpiSdt};
constexpr Kind kFullScreenLogo{.bitmap = Bitmap::kFullScreen, .logo = true};
constexpr Kind kEpaLogo{.bitmap = Bitmap::kEpa, .logo = true};
constexpr Kind kOsbBitmap{.bitmap = Bitmap::kOsb, .logo = true};
constexpr Kind kGuiOsbBitmap{.bitmap = Bitmap::kGuiOsb, .logo = true};
constexpr Kind kJpegLogo{.input = Input::kJpeg, .logo = true};
constexpr Kind kGifLogo{.input = Input::kGif, .logo = true};
constexpr Kind kMibDocument{.input = Input::kMib, .executable = Executable::kWhole};
constexpr Kind kNoCompress{.input = Input::kStored};
constexpr Kind kSizeOnly{.place = Place::kNowhere, .input = Input::kSizeOnly};
constexpr Kind kListing{.place = Place::kNowhere, .input = Input::kNone};
constexpr Kind kBootOnInternet{.place = Place::kBootOnInternet, .input = Input::kNone};
constexpr Kind kNcpucode{.place = Place::kNcpucodeArea, .input = Input::kRaw};
constexpr Kind kTopHole{.place = Place::kTopHole, .input = Input::kRaw};
constexpr Kind kBootblockVga{
    .place = Place::kBootblockArea, .input = Input::kRaw, .bootblock_area = BootblockArea::kVgaRom};
constexpr Kind kNvMemory{
    .place = Place::kBootblockArea, .input = Input::kRaw, .bootblock_area = BootblockArea::kNvMemory};
constexpr Kind kPmuRom{
    .place = Place::kBootblockArea, .input = Input::kRaw, .bootblock_area = BootblockArea::kPmu};
constexpr Kind kHole{.place = Place::kHole, .input = Input::kRaw};

// Position-dependent modules: PE32 and memory-init code that runs in place.
constexpr Kind position_dependent(Place place, std::uint8_t alignment, Patcher patcher,
                                  std::uint8_t pe32_kind = 0, bool file_offset_entry = false) {
    return {.place = place,
            .input = Input::kPositionDependent,
            .alignment = alignment,
            .patcher = patcher,
            .pe32_kind = pe32_kind,
            .entry_from_file_offset = file_offset_entry};
}
constexpr Kind kMemInit = position_dependent(Place::kChain, 16, Patcher::kMemInitMain);
constexpr Kind kHtInit = position_dependent(Place::kChain, 16, Patcher::kHtInit, 0, true);
constexpr Kind kPe32Main1 = position_dependent(Place::kChain, 128, Patcher::kFixupMain, 1);
constexpr Kind kPe32Main2 = position_dependent(Place::kChain, 128, Patcher::kFixupMain, 2);
constexpr Kind kPe32Main3 = position_dependent(Place::kChain, 128, Patcher::kFixupMain, 3);
constexpr Kind kPe32Main4 = position_dependent(Place::kChain, 128, Patcher::kFixupMain, 4);
constexpr Kind kMemInitBootblock = position_dependent(Place::kArena, 16, Patcher::kMemInitBootblock);
constexpr Kind kPe32Boot1 = position_dependent(Place::kArena, 128, Patcher::kFixupBootblock, 1);
constexpr Kind kPe32Boot2 = position_dependent(Place::kArena, 128, Patcher::kFixupBootblock, 2);
constexpr Kind kPe32Boot3 = position_dependent(Place::kArena, 128, Patcher::kFixupBootblock, 3);
constexpr Kind kPe32Boot4 = position_dependent(Place::kArena, 128, Patcher::kFixupBootblock, 4);
constexpr Kind kNoPlace{.place = Place::kNowhere, .input = Input::kNone};

using word::kAlone;
using word::kAloneFirst;
using word::kNoReserve;
using word::kPosition;
using word::kReverseLogo;

// Every option the tool knows, in option-code order. Code 6 and the codes 114
// and 115 were never given to an option. Several options store the same type
// ID (/acpi and /acpitbl, /OSB_BMP and /OSB_BMP_GUI, ...): they are different
// ways to prepare the same component, and the firmware only sees the type ID.
// The printed widths differ from entry to entry (10 to 18 columns): they are
// the widths listings have always had, so each entry keeps its own rather
// than one uniform column.
// clang-format off
constexpr auto kEntries = std::to_array<CatalogueEntry>({
    //  code, option, type ID text, failure name, type ID, listing, listing name, width, kind, words
    {1, "/vga", "4080:0", "VGA", 0x4080, kFamily, {}, 0, kVgaRom, 0},
    {2, "/ncr", "4086:0", "PCI", 0x4086, kFamily, {}, 0, kPciRom, kAlone},
    {3, "/aha", "4086:0", "PCI", 0x4086, kFamily, {}, 0, kPciRom, kAlone},
    {4, "/other", "", "Other", kNoType, kByTypeId, {}, 0, kModule, 0},
    {5, "/logo", "4000:0", "Logo", 0x4000, kFixed, "LOGO BitMap", 16, kFullScreenLogo, kAlone | kNoReserve | kReverseLogo},
    {7, "/d", "", "D", kNoType, kNotListed, {}, 0, kListing, kAlone},
    {8, "/cpucode", "4001:0", "CPUCODE", 0x4001, kFixed, "CPU micro code", 16, kModule, kAlone},
    {9, "/epa", "4002:0", "EPA", 0x4002, kFixed, "EPA LOGO", 16, kEpaLogo, kAlone | kReverseLogo},
    {10, "/acpi", "4003:0", "ACPI", 0x4003, kFixed, "ACPI table", 16, kModule, kAlone},
    {11, "/acpitbl", "4003:0", "ACPI", 0x4003, kFixed, "ACPI table", 16, kModule, kAlone},
    {12, "/vsa", "4004:0", "VSA", 0x4004, kFixed, "VSA driver", 16, kModule, 0},
    {13, "/pci", "4086:0", "PCI", 0x4086, kFamily, {}, 0, kPciRom, 0},
    {14, "/hpm", "4005:0", "HPM", 0x4005, kFixed, "HPM ROM", 16, kModule, kAlone},
    {15, "/hpc", "4006:0", "HPC", 0x4006, kFixed, "HPC ROM", 16, kModule, kAlone},
    {16, "/vrs", "4007:0", "VRS", 0x4007, kFixed, "VRS ROM", 16, kModule, 0},
    {17, "/isa", "40A0:0", "ISA", 0x40A0, kFamily, {}, 0, kIsaRom, 0},
    {18, "/fnt0", "4008:0", "FNT0", 0x4008, kFixed, "FNT0 ROM", 16, kModule, 0},
    {19, "/fnt1", "4009:0", "FNT1", 0x4009, kFixed, "FNT1 ROM", 16, kModule, 0},
    {20, "/fnt2", "400a:0", "FNT2", 0x400A, kFixed, "FNT2 ROM", 16, kModule, 0},
    {21, "/fnt3", "400b:0", "FNT3", 0x400B, kFixed, "FNT3 ROM", 16, kModule, 0},
    {22, "/fnt4", "400c:0", "FNT4", 0x400C, kFixed, "FNT4 ROM", 16, kModule, 0},
    {23, "/fnt5", "400d:0", "FNT5", 0x400D, kFixed, "FNT5 ROM", 16, kModule, 0},
    {24, "/ygroup", "400e:0", "YGROUP", 0x400E, kFixed, "YGROUP ROM", 16, kModule, 0},
    {25, "/mib", "400f:0", "MIB", 0x400F, kFixed, "MIB ROM", 16, kMibDocument, 0},
    {26, "/epa1", "4010:0", "EPA1", 0x4010, kFixed, "EPA1 ROM", 16, kEpaLogo, 0},
    {27, "/logo1", "4011:0", "LOGO1", 0x4011, kFixed, "LOGO1 ROM", 16, kFullScreenLogo, kNoReserve},
    {28, "/oem0", "4012:0", "OEM0", 0x4012, kFixed, "OEM0 CODE", 16, kWholeExecutable, 0},
    {29, "/oem1", "4013:0", "OEM1", 0x4013, kFixed, "OEM1 CODE", 16, kWholeExecutable, 0},
    {30, "/oem2", "4014:0", "OEM2", 0x4014, kFixed, "OEM2 CODE", 16, kWholeExecutable, 0},
    {31, "/oem3", "4015:0", "OEM3", 0x4015, kFixed, "OEM3 CODE", 16, kWholeExecutable, 0},
    {32, "/oem4", "4016:0", "OEM4", 0x4016, kFixed, "OEM4 CODE", 16, kWholeExecutable, 0},
    {33, "/oem5", "4017:0", "OEM5", 0x4017, kFixed, "OEM5 CODE", 16, kWholeExecutable, 0},
    {34, "/oem6", "4018:0", "OEM6", 0x4018, kFixed, "OEM6 CODE", 16, kWholeExecutable, 0},
    {35, "/oem7", "4019:0", "OEM7", 0x4019, kFixed, "OEM7 CODE", 16, kWholeExecutable, 0},
    {36, "/xgroup", "407F:0", "XGROUP", 0x407F, kFixed, "XGROUP CODE", 16, kModule, 0},
    {37, "/btvga", "", "", kNoType, kNotListed, {}, 0, kBootblockVga, kAloneFirst},
    {38, "/epa2", "401a:0", "EPA2", 0x401A, kFixed, "EPA2 ROM", 16, kEpaLogo, 0},
    {39, "/epa3", "401b:0", "EPA3", 0x401B, kFixed, "EPA3 ROM", 16, kEpaLogo, 0},
    {40, "/epa4", "401c:0", "EPA4", 0x401C, kFixed, "EPA4 ROM", 16, kEpaLogo, 0},
    {41, "/epa5", "401d:0", "EPA5", 0x401D, kFixed, "EPA5 ROM", 16, kEpaLogo, 0},
    {42, "/epa6", "401e:0", "EPA6", 0x401E, kFixed, "EPA6 ROM", 16, kEpaLogo, 0},
    {43, "/epa7", "401f:0", "EPA7", 0x401F, kFixed, "EPA7 ROM", 16, kEpaLogo, 0},
    {44, "/logo2", "4020:0", "Logo2", 0x4020, kFixed, "LOGO2 ROM", 16, kEpaLogo, kNoReserve},
    {45, "/logo3", "4021:0", "Logo3", 0x4021, kFixed, "LOGO3 ROM", 16, kEpaLogo, kNoReserve},
    {46, "/logo4", "4022:0", "Logo4", 0x4022, kFixed, "LOGO4 ROM", 16, kEpaLogo, kNoReserve},
    {47, "/logo5", "4023:0", "Logo5", 0x4023, kFixed, "LOGO5 ROM", 16, kEpaLogo, kNoReserve},
    {48, "/logo6", "4024:0", "Logo6", 0x4024, kFixed, "LOGO6 ROM", 16, kEpaLogo, kNoReserve},
    {49, "/logo7", "4025:0", "Logo7", 0x4025, kFixed, "LOGO7 ROM", 16, kFullScreenLogo, kNoReserve},
    {50, "/mrvflash", "4026:0", "Flash ROM", 0x4026, kFixed, "Flash ROM", 16, kFlashCode, 0},
    {51, "/nnoprom", "4027:0", "NNOPROM", 0x4027, kFixed, "NNOPROM", 16, kModule, 0},
    {52, "/ros", "4028:0", "ROS", 0x4028, kFixed, "ROS ROM", 16, kModule, 0},
    {53, "/group", "4029:0", "GROUP", 0x4029, kFamily, {}, 0, kGroupModule, 0},
    {54, "/NoCompress", "4045:0", "NoCompress", 0x4045, kFixed, "NoCompress ROM", 16, kNoCompress, 0},
    {55, "/OSB_LOGO", "4046:0", "OsbLogo", 0x4046, kFixed, "OSB LOGO ROM", 16, kOsbBitmap, 0},
    {56, "/OSB_BMP", "404E:0", "OsbBmp", 0x404E, kFixed, "OSB BMP ROM", 16, kOsbBitmap, kNoReserve | kPosition},
    {57, "/OSB_BMP1", "404F:0", "OsbBmp1", 0x404F, kFixed, "OSB BMP1 ROM", 16, kOsbBitmap, kNoReserve | kPosition},
    {58, "/OSB_BMP2", "4050:0", "OsbBmp2", 0x4050, kFixed, "OSB BMP2 ROM", 16, kOsbBitmap, kNoReserve | kPosition},
    {59, "/OSB_BMP3", "4051:0", "OsbBmp3", 0x4051, kFixed, "OSB BMP3 ROM", 16, kOsbBitmap, kNoReserve | kPosition},
    {60, "/OSB_BMP4", "4052:0", "OsbBmp4", 0x4052, kFixed, "OSB BMP4 ROM", 16, kOsbBitmap, kNoReserve | kPosition},
    {61, "/OSB_BMP5", "4053:0", "OsbBmp5", 0x4053, kFixed, "OSB BMP5 ROM", 16, kOsbBitmap, kNoReserve | kPosition},
    {62, "/OSB_BMP6", "4054:0", "OsbBmp6", 0x4054, kFixed, "OSB BMP6 ROM", 16, kOsbBitmap, kNoReserve | kPosition},
    {63, "/OSB_BMP7", "4055:0", "OsbBmp7", 0x4055, kFixed, "OSB BMP7 ROM", 16, kOsbBitmap, kNoReserve | kPosition},
    {64, "/OSB_LOGO1", "4047:0", "OsbLogo1", 0x4047, kFixed, "OSB LOGO1 ROM", 16, kOsbBitmap, kNoReserve},
    {65, "/OSB_LOGO2", "4048:0", "OsbLogo2", 0x4048, kFixed, "OSB LOGO2 ROM", 16, kOsbBitmap, kNoReserve},
    {66, "/OSB_LOGO3", "4049:0", "OsbLogo3", 0x4049, kFixed, "OSB LOGO3 ROM", 16, kOsbBitmap, kNoReserve},
    {67, "/OSB_LOGO4", "404A:0", "OsbLogo4", 0x404A, kFixed, "OSB LOGO4 ROM", 16, kOsbBitmap, kNoReserve},
    {68, "/OSB_LOGO5", "404B:0", "OsbLogo5", 0x404B, kFixed, "OSB LOGO5 ROM", 16, kOsbBitmap, kNoReserve},
    {69, "/OSB_LOGO6", "404C:0", "OsbLogo6", 0x404C, kFixed, "OSB LOGO6 ROM", 16, kOsbBitmap, kNoReserve},
    {70, "/OSB_LOGO7", "404D:0", "OsbLogo7", 0x404D, kFixed, "OSB LOGO7 ROM", 16, kOsbBitmap, kNoReserve},
    {71, "/NC_CPUCODE", "4056:0", "NC_CPUCODE", 0x4056, kFixed, "NC-CPUCODE", 16, kNcpucode, 0},
    {72, "/JPEG", "4057:0", "Jpeg", 0x4057, kFixed, "JPEG ROM", 16, kJpegLogo, 0},
    {73, "/JPEG1", "4058:0", "Jpeg1", 0x4058, kFixed, "JPEG1 ROM", 17, kJpegLogo, 0},
    {74, "/JPEG2", "4059:0", "Jpeg2", 0x4059, kFixed, "JPEG2 ROM", 17, kJpegLogo, 0},
    {75, "/JPEG3", "405A:0", "Jpeg3", 0x405A, kFixed, "JPEG3 ROM", 17, kJpegLogo, 0},
    {76, "/RPB", "405B:0", "RPB", 0x405B, kFixed, "RPB ROM", 16, kModule, 0},
    {77, "/VER", "4101:0", "VER", 0x4101, kFixed, "VERSION TABLE", 16, kModule, 0},
    {78, "/JPEG_ENG", "405C:0", "JPEG_ENG", 0x405C, kFixed, "JPEG ENGINE", 11, kModule, 0},
    {79, "/SROM0", "40b0:0", "SROM0", 0x40B0, kFixed, "SROM0", 16, kModule, 0},
    {80, "/SROM1", "40b1:0", "SROM1", 0x40B1, kFixed, "SROM1", 16, kModule, 0},
    {81, "/SROM2", "40b2:0", "SROM2", 0x40B2, kFixed, "SROM2", 16, kModule, 0},
    {82, "/SROM3", "40b3:0", "SROM3", 0x40B3, kFixed, "SROM3", 16, kModule, 0},
    {83, "/SROM4", "40b4:0", "SROM4", 0x40B4, kFixed, "SROM4", 16, kModule, 0},
    {84, "/SETUP0", "40b5:0", "SETUP0", 0x40B5, kFixed, "SETUP0", 17, kModule, 0},
    {85, "/SETUP1", "40b6:0", "SETUP1", 0x40B6, kFixed, "SETUP1", 17, kModule, 0},
    {86, "/BIOSF0", "405D:0", "BIOSF0", 0x405D, kFixed, "BIOSF0", 18, kWholeExecutable, 0},
    {87, "/BIOSF1", "405E:0", "BIOSF1", 0x405E, kFixed, "BIOSF1", 17, kWholeExecutable, 0},
    {88, "/BIOSF2", "405F:0", "BIOSF2", 0x405F, kFixed, "BIOSF2", 17, kWholeExecutable, 0},
    {89, "/BIOSF3", "4060:0", "BIOSF3", 0x4060, kFixed, "BIOSF3", 17, kWholeExecutable, 0},
    {90, "/BIOSF4", "4061:0", "BIOSF4", 0x4061, kFixed, "BIOSF4", 17, kWholeExecutable, 0},
    {91, "/BIOSF5", "4062:0", "BIOSF5", 0x4062, kFixed, "BIOSF5", 17, kWholeExecutable, 0},
    {92, "/BIOSF6", "4063:0", "BIOSF6", 0x4063, kFixed, "BIOSF6", 17, kWholeExecutable, 0},
    {93, "/BIOSF7", "4064:0", "BIOSF7", 0x4064, kFixed, "BIOSF7", 17, kWholeExecutable, 0},
    {94, "/BIOSF8", "4065:0", "BIOSF8", 0x4065, kFixed, "BIOSF8", 17, kWholeExecutable, 0},
    {95, "/BIOSF9", "4066:0", "BIOSF9", 0x4066, kFixed, "BIOSF9", 17, kWholeExecutable, 0},
    {96, "/GV3", "4067:0", "GV3", 0x4067, kFixed, "GV3", 17, kModule, 0},
    {97, "/NVMM", "", "NVMM", kNoType, kNotListed, {}, 0, kNvMemory, 0},
    {98, "/CALS", "4068:0", "CALS", 0x4068, kNotListed, {}, 0, kSizeOnly, 0},
    {99, "/MINIT", "4069:0", "MINIT", 0x4069, kFixed, "MINIT", 16, kMemInit, 0},
    {100, "/EFI0", "406A:0", "EFI0", 0x406A, kFixed, "EFI0", 16, kWholeExecutable, 0},
    {101, "/EFI1", "406B:0", "EFI1", 0x406B, kFixed, "EFI1", 16, kWholeExecutable, 0},
    {102, "/EFI2", "406C:0", "EFI2", 0x406C, kFixed, "EFI2", 16, kWholeExecutable, 0},
    {103, "/EFI3", "406D:0", "EFI3", 0x406D, kFixed, "EFI3", 16, kWholeExecutable, 0},
    {104, "/EFI4", "406E:0", "EFI4", 0x406E, kFixed, "EFI4", 16, kWholeExecutable, 0},
    {105, "/EFI5", "406F:0", "EFI5", 0x406F, kFixed, "EFI5", 16, kWholeExecutable, 0},
    {106, "/EFI6", "4070:0", "EFI6", 0x4070, kFixed, "EFI6", 16, kWholeExecutable, 0},
    {107, "/EFI7", "4071:0", "EFI7", 0x4071, kFixed, "EFI7", 16, kWholeExecutable, 0},
    {108, "/EFI8", "4072:0", "EFI8", 0x4072, kFixed, "EFI8", 16, kWholeExecutable, 0},
    {109, "/EFI9", "4073:0", "EFI9", 0x4073, kFixed, "EFI9", 16, kWholeExecutable, 0},
    {110, "/MPDRV", "4074:0", "MPDRV", 0x4074, kFixed, "MPDRV ROM", 16, kModule, 0},
    {111, "/MADRV", "4075:0", "MADRV", 0x4075, kFixed, "MADRV ROM", 16, kModule, 0},
    {112, "/TCGSMI", "4076:0", "TCGSMI", 0x4076, kFixed, "TCGSMI CODE", 16, kModule, 0},
    {113, "/FLSHCODE", "4077:0", "FLSHCODE", 0x4077, kFixed, "FLSH CODE", 16, kModule, 0},
    {116, "/NVPMU", "", "NVPMU", kNoType, kNotListed, {}, 0, kPmuRom, 0},
    {117, "/BTMEM", "3010:0", "BTMEM", 0x3010, kBootblock, {}, 0, kMemInitBootblock, 0},
    {118, "/HOLE0", "4090:0", "HOLE0", 0x4090, kNotListed, {}, 0, kHole, 0},
    {119, "/HOLE1", "4091:0", "HOLE1", 0x4091, kNotListed, {}, 0, kHole, 0},
    {120, "/HOLE2", "4092:0", "HOLE2", 0x4092, kNotListed, {}, 0, kHole, 0},
    {121, "/HOLE3", "4093:0", "HOLE3", 0x4093, kNotListed, {}, 0, kHole, 0},
    {122, "/HOLE4", "4094:0", "HOLE4", 0x4094, kNotListed, {}, 0, kHole, 0},
    {123, "/HOLE5", "4095:0", "HOLE5", 0x4095, kNotListed, {}, 0, kHole, 0},
    {124, "/HOLE6", "4096:0", "HOLE6", 0x4096, kNotListed, {}, 0, kHole, 0},
    {125, "/HOLE7", "4097:0", "HOLE7", 0x4097, kNotListed, {}, 0, kHole, 0},
    {126, "/HTINIT", "407A:0", "HTINIT", 0x407A, kFixed, "HTINIT", 17, kHtInit, 0},
    {127, "/1PE32", "407B:0", "1PE32", 0x407B, kFixed, "1 PE32 in MB", 17, kPe32Main1, 0},
    {128, "/1PE32B", "3011:0", "1PE32B", 0x3011, kBootblock, {}, 0, kPe32Boot1, 0},
    {129, "/2PE32", "407C:0", "2PE32", 0x407C, kFixed, "2 PE32 in MB", 17, kPe32Main2, 0},
    {130, "/2PE32B", "3012:0", "2PE32B", 0x3012, kBootblock, {}, 0, kPe32Boot2, 0},
    {131, "/ACPIModule", "40C0:0", "ACPIModule", 0x40C0, kFamily, {}, 0, kAcpiSdtModule, 0},
    {132, "/SMI32", "40b7:0", "SMI32", 0x40B7, kFixed, "SMI32", 10, kModule, 0},
    {133, "/SMIAP", "40b8:0", "SMIAP", 0x40B8, kFixed, "SMIAP", 10, kModule, 0},
    {134, "/3PE32", "407D:0", "3PE32", 0x407D, kFixed, "3 PE32 in MB", 17, kPe32Main3, 0},
    {135, "/3PE32B", "3013:0", "3PE32B", 0x3013, kBootblock, {}, 0, kPe32Boot3, 0},
    {136, "/4PE32", "407E:0", "4PE32", 0x407E, kFixed, "4 PE32 in MB", 17, kPe32Main4, 0},
    {137, "/4PE32B", "3014:0", "4PE32B", 0x3014, kBootblock, {}, 0, kPe32Boot4, 0},
    {138, "/BOI", "", "BOI", kNoType, kNotListed, {}, 0, kBootOnInternet, kAlone},
    {139, "/GIF0", "40BC:0", "Gif0", 0x40BC, kFixed, "GIF0 ROM", 17, kGifLogo, 0},
    {140, "/GIF1", "40BD:0", "Gif1", 0x40BD, kFixed, "GIF1 ROM", 17, kGifLogo, 0},
    {141, "/GIF2", "40BE:0", "Gif2", 0x40BE, kFixed, "GIF2 ROM", 17, kGifLogo, 0},
    {142, "/GIF3", "40BF:0", "Gif3", 0x40BF, kFixed, "GIF3 ROM", 17, kGifLogo, 0},
    {143, "/ExtF", "40b9:0", "ExtF", 0x40B9, kFixed, "ExtF ROM", 17, kModule, 0},
    {144, "/TOPHOLE", "0:0", "TOPHOLE", 0x0000, kNotListed, {}, 0, kTopHole, 0},
    {145, "/OSB_BMP_GUI", "404E:0", "OsbBmpGui", 0x404E, kFixed, "OSB BMP ROM", 16, kGuiOsbBitmap, kPosition},
    {146, "/OSB_BMP1_GUI", "404F:0", "OsbBmp1Gui", 0x404F, kFixed, "OSB BMP1 ROM", 16, kGuiOsbBitmap, kPosition},
    {147, "/OSB_BMP2_GUI", "4050:0", "OsbBmp2Gui", 0x4050, kFixed, "OSB BMP2 ROM", 16, kGuiOsbBitmap, kPosition},
    {148, "/OSB_BMP3_GUI", "4051:0", "OsbBmp3Gui", 0x4051, kFixed, "OSB BMP3 ROM", 16, kGuiOsbBitmap, kPosition},
    {149, "/OSB_BMP4_GUI", "4052:0", "OsbBmp4Gui", 0x4052, kFixed, "OSB BMP4 ROM", 16, kGuiOsbBitmap, kPosition},
    {150, "/OSB_BMP5_GUI", "4053:0", "OsbBmp5Gui", 0x4053, kFixed, "OSB BMP5 ROM", 16, kGuiOsbBitmap, kPosition},
    {151, "/OSB_BMP6_GUI", "4054:0", "OsbBmp6Gui", 0x4054, kFixed, "OSB BMP6 ROM", 16, kGuiOsbBitmap, kPosition},
    {152, "/OSB_BMP7_GUI", "4055:0", "OsbBmp7Gui", 0x4055, kFixed, "OSB BMP7 ROM", 16, kGuiOsbBitmap, kPosition},
    {153, "/OSB_LOGO_GUI", "4046:0", "OsbLogoGui", 0x4046, kFixed, "OSB LOGO ROM", 16, kGuiOsbBitmap, 0},
    {154, "/OSB_LOGO1_GUI", "4047:0", "OsbLogo1Gui", 0x4047, kFixed, "OSB LOGO1 ROM", 16, kGuiOsbBitmap, 0},
    {155, "/OSB_LOGO2_GUI", "4048:0", "OsbLogo2Gui", 0x4048, kFixed, "OSB LOGO2 ROM", 16, kGuiOsbBitmap, 0},
    {156, "/OSB_LOGO3_GUI", "4049:0", "OsbLogo3Gui", 0x4049, kFixed, "OSB LOGO3 ROM", 16, kGuiOsbBitmap, 0},
    {157, "/OSB_LOGO4_GUI", "404A:0", "OsbLogo4Gui", 0x404A, kFixed, "OSB LOGO4 ROM", 16, kGuiOsbBitmap, 0},
    {158, "/OSB_LOGO5_GUI", "404B:0", "OsbLogo5Gui", 0x404B, kFixed, "OSB LOGO5 ROM", 16, kGuiOsbBitmap, 0},
    {159, "/OSB_LOGO6_GUI", "404C:0", "OsbLogo6Gui", 0x404C, kFixed, "OSB LOGO6 ROM", 16, kGuiOsbBitmap, 0},
    {160, "/OSB_LOGO7_GUI", "404D:0", "OsbLogo7Gui", 0x404D, kFixed, "OSB LOGO7 ROM", 16, kGuiOsbBitmap, 0},
    {161, "/TSEG0", "40CA:0", "TSEG0", 0x40CA, kFixed, "TSEG0", 17, kWholeExecutable, 0},
    {162, "/TSEG1", "40CB:0", "TSEG1", 0x40CB, kFixed, "TSEG1", 16, kWholeExecutable, 0},
    {163, "/TSEG2", "40CC:0", "TSEG2", 0x40CC, kFixed, "TSEG2", 16, kWholeExecutable, 0},
    {164, "/TSEG3", "40CD:0", "TSEG3", 0x40CD, kFixed, "TSEG3", 16, kWholeExecutable, 0},
});
// clang-format on

// The numbered families, with the letters their slots are shown with.
struct FamilyEntry {
    Family family;
    FamilyRange range;
    const char* listing_format;  // printf format of the listing name, with the slot
};

constexpr std::array<FamilyEntry, 5> kFamilies = {{
    {Family::kGroup, {0x4029, 0x4044}, "GROUP ROM[%2d]   "},
    {Family::kVga, {0x4080, 0x4085}, "VGA ROM[%c]      "},
    {Family::kPci, {0x4086, 0x409F}, "PCI ROM[%c]      "},
    {Family::kIsa, {0x40A0, 0x40A7}, "ISA ROM[%c]      "},
    {Family::kAcpiSdt, {0x40C0, 0x40C9}, "ACPI SDT ROM[%c] "},
}};

// ISA slots A-D hold ROMs placed at a segment of their own, slots 1-4 the
// others: the letters start again at "1" from this type ID.
constexpr std::uint16_t kFirstPlainIsaSlot = 0x40A4;

// An add compares contents with every existing VGA, PCI or ISA ROM when its
// target is one of them (the three families take each other's ROMs into
// account), and with every ACPI SDT module when it adds one. The existing
// side stops one short of the last ISA slot (0x40A7): images carry ROMs
// there that are never compared, and the slot rules depend on it.
constexpr FamilyRange kRomTargets{0x4080, 0x40A7};
constexpr FamilyRange kRomCompared{0x4080, 0x40A6};

std::string other_name(std::uint16_t type_id, std::uint16_t suffix) {
    return base::format("Other(%04X:%04X)", type_id, suffix);
}

// Letter case is compared in ASCII only: a word may hold any bytes, and the
// option names are plain ASCII.
char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

std::span<const CatalogueEntry> catalogue() {
    return kEntries;
}

int lookup_option(std::string_view word) {
    for (const CatalogueEntry& entry : kEntries)
        if (equal_ignoring_case(word, entry.option)) return entry.code;
    return 0;
}

const CatalogueEntry* entry_for_code(int code) {
    for (const CatalogueEntry& entry : kEntries)
        if (entry.code == code) return &entry;
    return nullptr;
}

std::string_view failure_name(int code) {
    const CatalogueEntry* entry = entry_for_code(code);
    return entry ? entry->failure_name : std::string_view{};
}

std::string listing_name(std::uint16_t type_id, std::uint16_t suffix) {
    for (const FamilyEntry& f : kFamilies) {
        if (!f.range.contains(type_id)) continue;
        if (f.family == Family::kGroup) return base::format(f.listing_format, type_id - f.range.first);
        return base::format(f.listing_format, slot_letter(f.family, type_id));
    }
    for (const CatalogueEntry& entry : kEntries) {
        if (entry.listing != Listing::kFixed || entry.type_id != type_id) continue;
        std::string name(entry.listing_name);
        if (name.size() < static_cast<std::size_t>(entry.listing_width))
            name.resize(static_cast<std::size_t>(entry.listing_width), ' ');
        return name;
    }
    return other_name(type_id, suffix);
}

std::string bootblock_listing_name(std::uint16_t type_id, std::uint16_t suffix) {
    for (const CatalogueEntry& entry : kEntries) {
        if (entry.listing != Listing::kBootblock || entry.type_id != type_id) continue;
        if (entry.kind.pe32_kind == 0) return "MEM INIT IN BB  ";
        return base::format("%d PE32 IN BB  ", entry.kind.pe32_kind);
    }
    return other_name(type_id, suffix);
}

const Kind& kind_of(int code) {
    const CatalogueEntry* entry = entry_for_code(code);
    return entry ? entry->kind : kNoPlace;
}

FamilyRange family_range(Family family) {
    for (const FamilyEntry& f : kFamilies)
        if (f.family == family) return f.range;
    return {};
}

Family family_of_type(std::uint16_t type_id) {
    for (const FamilyEntry& f : kFamilies)
        if (f.range.contains(type_id)) return f.family;
    return Family::kNone;
}

char slot_letter(Family family, std::uint16_t type_id) {
    const int slot = type_id - family_range(family).first;
    switch (family) {
        case Family::kVga:
            return static_cast<char>('1' + slot);
        case Family::kIsa:
            return static_cast<char>(type_id < kFirstPlainIsaSlot ? 'A' + slot
                                                                  : '1' + (type_id - kFirstPlainIsaSlot));
        case Family::kPci:
        case Family::kAcpiSdt:
            return static_cast<char>('A' + slot);
        case Family::kGroup:
        case Family::kNone:
            break;
    }
    return '?';
}

const CatalogueEntry* option_for_type(std::uint16_t type_id, bool arena) {
    const auto names = [&](const CatalogueEntry& e) {
        if (arena) return e.listing == Listing::kBootblock && e.type_id == type_id;
        if (e.listing == Listing::kFamily) return family_range(e.kind.family).contains(type_id);
        return e.listing == Listing::kFixed && e.type_id == type_id;
    };
    for (const bool ready_module : {false, true})
        for (const CatalogueEntry& e : kEntries)
            if (names(e) && (default_input(e.code).input == DefaultInput::kReadyModule) == ready_module)
                return &e;
    return nullptr;
}

bool compares_content(std::uint16_t existing, std::uint16_t target) {
    const FamilyRange acpi = family_range(Family::kAcpiSdt);
    return (kRomCompared.contains(existing) && kRomTargets.contains(target)) ||
           (acpi.contains(existing) && acpi.contains(target));
}

bool is_logo_type(std::uint16_t type_id) {
    return std::any_of(kEntries.begin(), kEntries.end(),
                       [&](const CatalogueEntry& e) { return e.type_id == type_id && e.kind.logo; });
}

bool takes_position(std::uint16_t type_id) {
    return std::any_of(kEntries.begin(), kEntries.end(), [&](const CatalogueEntry& e) {
        return e.type_id == type_id && e.has(word::kPosition);
    });
}

const Kind* position_dependent_kind(std::uint16_t type_id) {
    for (const CatalogueEntry& entry : kEntries)
        if (entry.kind.input == Input::kPositionDependent && entry.type_id == type_id) return &entry.kind;
    return nullptr;
}

std::uint16_t position_dependent_type(Patcher patcher, std::uint8_t pe32_kind) {
    for (const CatalogueEntry& entry : kEntries) {
        const Kind& k = entry.kind;
        if (k.input == Input::kPositionDependent && k.patcher == patcher && k.pe32_kind == pe32_kind)
            return entry.type_id;
    }
    return kNoType;
}

bool is_position_dependent(std::uint16_t type_id) {
    return position_dependent_kind(type_id) != nullptr;
}

// The built-in inputs of the options that may be given without a RomFile.
struct DefaultEntry {
    int code;
    Default input;
};
constexpr std::array<DefaultEntry, 10> kDefaults = {{
    {2, {DefaultInput::kReadyModule, "i:\\eprom\\ncr307.rom", {}}},
    {3, {DefaultInput::kReadyModule, "i:\\eprom\\aha7850.rom", {}}},
    {5, {DefaultInput::kReadyModule, "i:\\eprom\\D4LOGO.BMP", {}}},
    {8, {DefaultInput::kExecutable, "CPUCODE.EXE", "CPUCODE.BIN"}},
    {9, {DefaultInput::kExecutable, "MORVAEPA.EXE", "MORVAEPA.BIN", true}},
    {10, {DefaultInput::kAcpiJoin, "ACPITBL.BIN", "ACPITBL.BIN"}},
    {11, {DefaultInput::kAcpiExecutable, "ACPITBL.EXE", "ACPITBL.BIN"}},
    {12, {DefaultInput::kReadyModule, "i:\\eprom\\vsa66.bin", {}}},
    {14, {DefaultInput::kFile, "SMI.BIN", "SMI.BIN"}},
    {15, {DefaultInput::kExecutable, "HPM.EXE", "HPM.BIN"}},
}};

Default default_input(int code) {
    for (const DefaultEntry& d : kDefaults)
        if (d.code == code) return d.input;
    return {};
}

}  // namespace kitra::cli
