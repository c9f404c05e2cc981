#include "cli/write_intent.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kitra::cli {
namespace {

bool may_change(const std::string& words) {
    Settings s;
    s.args = {"kitra", "bios.bin"};
    std::istringstream in(words);
    for (std::string w; in >> w;) s.args.push_back(w);
    s.first_option_index = 2;
    return may_change_image(s);
}

TEST(WriteIntent, OnlyRunsWhoseReachableItemsListReportOrExtractLeaveTheImageAlone) {
    for (const char* words : {"/D", "/d /err", "/vga extract", "/VGA EXTRACT out.rom /D",
                              "/other 8000:0 extract x.bin", "/CALS a.bin", "/HOLE2 extract",
                              // the loop ends before the add (an extract name is no item)
                              "/vga extract x.rom /oem1 a.bin", "/D /err /vga a.rom", "/other 80G0:0 x.bin"})
        EXPECT_FALSE(may_change(words)) << words;
    for (const char* words : {"/vga a.rom", "/vga release", "/cpucode", "/D /vga a.rom",
                              "/isa a.rom C800:0 /D", "/BOI", "/TOPHOLE release", "/btvga v.rom",
                              // "/D" takes the word after it as its argument; the add follows
                              "/D a.rom /oem0 b.bin", "/D checksum /vga a.rom"})
        EXPECT_TRUE(may_change(words)) << words;
}

}  // namespace
}  // namespace kitra::cli
