// The new commands' grammar through the built tool: the help, and command
// lines it refuses. The commands themselves are tested with their layers.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"

namespace kitra::app {
namespace {

using testing::run_kitra;
using testing::TempDir;

TEST(NewCommands, HelpListsTheFormsAndNoBanner) {
    TempDir dir;
    const auto o = run_kitra({"--help"}, dir.path);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out.rfind("kitra assembles legacy PC system-BIOS ROM images.\n", 0), 0u) << o.out;
    EXPECT_NE(o.out.find("  kitra IMAGE --COMMAND --help "), std::string::npos) << o.out;
    std::size_t start = 0;
    for (std::size_t end; (end = o.out.find('\n', start)) != std::string::npos; start = end + 1)
        EXPECT_LE(end - start, 80u) << o.out.substr(start, end - start);
}

TEST(NewCommands, UnknownCommandIsAWrongCommandLineAndTouchesNothing) {
    TempDir dir;
    const base::Bytes image = testing::ImageBuilder(0x40000).bytes;
    ASSERT_TRUE(platform::write_file(dir.file("bios.bin"), image));
    const auto o = run_kitra({"bios.bin", "--nonsense", "x"}, dir.path);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "kitra: --nonsense is no command; kitra --help lists them.\n");
    EXPECT_EQ(platform::read_file(dir.file("bios.bin")), image);
    EXPECT_EQ(dir.files(), std::vector<std::string>{"bios.bin"});
}

}  // namespace
}  // namespace kitra::app
