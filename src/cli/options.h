// Option codes the run flow and the operations dispatch on.
#pragma once

namespace kitra::cli::option {
constexpr int kVga = 1;
constexpr int kNcr = 2;
constexpr int kAha = 3;
constexpr int kOther = 4;
constexpr int kLogo = 5;
constexpr int kList = 7;
constexpr int kCpuCode = 8;
constexpr int kEpa = 9;
constexpr int kAcpi = 10;
constexpr int kAcpiTable = 11;
constexpr int kVsa = 12;
constexpr int kPci = 13;
constexpr int kHpm = 14;
constexpr int kHpc = 15;
constexpr int kIsa = 17;
constexpr int kMib = 25;
constexpr int kOem0 = 28;
constexpr int kOem7 = 35;
constexpr int kBtVga = 37;
constexpr int kMrvFlash = 50;
constexpr int kGroup = 53;
constexpr int kNoCompress = 54;
constexpr int kNcCpuCode = 71;
constexpr int kJpeg = 72;
constexpr int kJpeg3 = 75;
constexpr int kBiosF0 = 86;
constexpr int kBiosF9 = 95;
constexpr int kNvmm = 97;
constexpr int kCals = 98;
constexpr int kMinit = 99;
constexpr int kEfi0 = 100;
constexpr int kEfi9 = 109;
constexpr int kNvpmu = 116;
constexpr int kBtMem = 117;
constexpr int kHole0 = 118;
constexpr int kHole7 = 125;
constexpr int kHtInit = 126;
constexpr int kPe32Main1 = 127;
constexpr int kPe32Boot1 = 128;
constexpr int kPe32Main2 = 129;
constexpr int kPe32Boot2 = 130;
constexpr int kAcpiModule = 131;
constexpr int kPe32Main3 = 134;
constexpr int kPe32Boot3 = 135;
constexpr int kPe32Main4 = 136;
constexpr int kPe32Boot4 = 137;
constexpr int kBoi = 138;
constexpr int kGif0 = 139;
constexpr int kGif3 = 142;
constexpr int kTopHole = 144;
constexpr int kTseg0 = 161;
constexpr int kTseg3 = 164;

inline bool is_pe32_boot(int code) {
    return code == kPe32Boot1 || code == kPe32Boot2 || code == kPe32Boot3 || code == kPe32Boot4;
}
inline bool is_pe32_main(int code) {
    return code == kPe32Main1 || code == kPe32Main2 || code == kPe32Main3 || code == kPe32Main4;
}
}  // namespace kitra::cli::option
