// The inspect commands through the built tool: their output is the kept
// documents', their exit statuses, their refusals of wrong command lines,
// and that they leave the image and its folder as they were.
#include "inspect/commands.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/golden.h"
#include "support/run_kitra.h"
#include "support/sample_image.h"

namespace kitra::inspect {
namespace {

using base::Bytes;
using testing::run_kitra;
using testing::TempDir;

std::string kept(const std::string& name) {
    const auto bytes = platform::read_file(testing::golden_path("inspect/" + name));
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

TEST(InspectCommands, OutputStatusAndRefusals) {
    TempDir dir;
    const Bytes sample = testing::make_sample().image;
    Bytes damaged = sample;
    damaged[0x10000 + 40] ^= 1;  // in the first module's stream
    ASSERT_TRUE(platform::write_file(dir.file("sample.bin"), sample));
    ASSERT_TRUE(platform::write_file(dir.file("damaged.bin"), damaged));
    ASSERT_TRUE(platform::write_file(dir.file("short.bin"), Bytes(0x1000, 0xFF)));
    const std::string usage_json = "kitra IMAGE --json\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
    } cases[] = {
        {{"sample.bin", "--json"}, 0, kept("sample.json"), ""},
        {{"sample.bin", "--info"}, 0, kept("sample.txt"), ""},
        {{"sample.bin", "--info", "--json"}, 0, kept("sample.json"), ""},
        {{"sample.bin", "--verify", "--json"}, 0, kept("sample_verify.json"), ""},
        {{"sample.bin", "--space"}, 0, kept("sample_space.txt"), ""},
        {{"sample.bin", "--space", "--json"}, 0, kept("sample_space.json"), ""},
        {{"sample.bin", "--space", "map"},
         2,
         "",
         "kitra --space: unexpected argument \"map\"\nkitra IMAGE --space [--json]\n"},
        {{"damaged.bin", "--verify"},
         3,
         "00010000  module 1 (PCI ROM[B] \"raid.rom\"): contents that do not unpack (Bad table), expected "
         "contents "
         "that unpack\n0002EFFE  checksum block sum byte: A4h, expected A5h\n0002EFFF  checksum block "
         "follower byte: "
         "A4h, expected A5h\n0002F000  balance word: 024Eh, expected 014Ch\ndamaged.bin is damaged: 4 "
         "findings.\n",
         ""},
        {{"short.bin", "--verify"},
         1,
         "",
         "kitra: short.bin is too small for a system BIOS image (at least 128 KB). The image will be left "
         "unmodified.\n"},
        {{"sample.bin", "--json", "x"}, 2, "", "kitra --json: unexpected argument \"x\"\n" + usage_json},
        {{"sample.bin", "--json", "--verify"},
         2,
         "",
         "kitra --json: --json goes after the command it formats: kitra IMAGE --verify ... --json\n" +
             usage_json},
        {{"sample.bin", "--verify", "--all"},
         2,
         "",
         "kitra --verify: unexpected argument \"--all\"\nkitra IMAGE --verify [--json]\n"},
        {{"sample.bin", "--diff", "sample.bin", "x"},
         2,
         "",
         "kitra --diff: unexpected argument \"x\"\nkitra IMAGE --diff OTHER [--json]\n"},
    };
    for (const auto& c : cases) {
        const testing::Outcome o = run_kitra(c.args, dir.path);
        EXPECT_EQ(o.status, c.status) << c.args[1];
        EXPECT_EQ(o.out, c.out) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(o.err, c.err) << c.args[1];
    }
    EXPECT_EQ(platform::read_file(dir.file("sample.bin")), sample);
    EXPECT_EQ(platform::read_file(dir.file("damaged.bin")), damaged);
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"damaged.bin", "sample.bin", "short.bin"}));
}

TEST(InspectCommands, HelpListsThemAndExplainsEach) {
    TempDir dir;
    const std::string help = run_kitra({"--help"}, dir.path).out;
    for (const cli::NewCommand& c : commands()) {
        // The summaries share one column, past the longest command word.
        const std::size_t at = help.find("\n  " + std::string(c.word) + " ");
        ASSERT_NE(at, std::string::npos) << c.word;
        const std::string line = help.substr(at + 1, help.find('\n', at + 1) - at - 1);
        EXPECT_TRUE(line.ends_with(" " + std::string(c.summary))) << line;
        EXPECT_EQ(line.find_first_not_of(' ', 3 + c.word.size()), line.size() - c.summary.size()) << line;
        const testing::Outcome o = run_kitra({"any.bin", std::string(c.word), "--help"}, dir.path);
        EXPECT_EQ(o.out, c.help);
        EXPECT_EQ(o.status, 0);
        EXPECT_TRUE(o.out.starts_with("kitra IMAGE " + std::string(c.word))) << o.out;
    }
}

}  // namespace
}  // namespace kitra::inspect
