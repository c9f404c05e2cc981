// The files around a run, through the built tool: names that lead to no
// image file, images too large or that the user may not write, the owner,
// mode and other hard links of a replaced image, inputs without end.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <optional>

#include "platform/files.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"

namespace kitra::app {
namespace {

namespace fs = std::filesystem;

using base::Bytes;
using testing::Launch;
using testing::TempDir;

const std::string kBanner = "kitra V1.99 [02/12/2010]\n";
const std::string kAdded = "Adding a.bin  9.0%\n";
constexpr std::uint64_t kTooLarge = (std::uint64_t{256} << 20) + 1;

struct Fixture {
    TempDir dir;
    Bytes before;
    Fixture() {
        testing::ImageBuilder b(256 * 1024);
        b.put(0, testing::stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
        b.put_bootblock_record(0x20100, 0, 0xF000, 0x0000, 0xE000);
        before = b.bytes;
        EXPECT_TRUE(platform::write_file(dir.file("bios.bin"), before));
        EXPECT_TRUE(platform::write_file(dir.file("a.bin"), Bytes(100, 1)));
    }
    Bytes image() const { return *platform::read_file(dir.file("bios.bin")); }
    testing::Outcome run(const std::vector<std::string>& args, const Launch& launch = {}) const {
        return testing::finish_kitra(testing::start_kitra(args, dir.path, launch));
    }
};

struct Case {
    std::vector<std::string> args;
    std::string out;  // after the banner
    int status = 0;
};

void expect_runs(const Fixture& f, const std::vector<Case>& cases, const Launch& launch = {}) {
    for (const Case& c : cases) {
        const auto o = f.run(c.args, launch);
        EXPECT_EQ(o.out, kBanner + c.out) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(o.status, c.status) << c.args[0] << " " << c.args[1];
    }
}

// Refused at once, whatever the run would do, and left as it was: a pipe
// without a writer does not hold the run up, a device is not read without
// end, a file too large is not read at all.
TEST(ImageFiles, WhatIsNoImageFileIsRefusedAtOnceAndStaysWhatItWas) {
    Fixture f;
    fs::create_directory(f.dir.path / "sub");
    std::vector<Case> cases = {
        {{"sub", "/D"}, "sub is a folder, not an image file; it is left as it is.\n", 0},
        {{"sub", "/oem1", "a.bin", "/err"}, "sub is a folder, not an image file; it is left as it is.\n", 1},
        {{"big.bin", "/oem1", "a.bin", "/err"},
         "big.bin is too large for a system BIOS image (at most 256 MB). The image will be left "
         "unmodified.\n",
         1},
        {{"bios.bin", "/oem1", "big.bin", "/err"},
         "big.bin is larger than 256 MB, more than a module may hold; nothing is added.\n\n!!! Combine OEM1 "
         "have some error.\n",
         29},
    };
    ASSERT_TRUE(platform::write_file(f.dir.file("big.bin"), {}));
    fs::resize_file(f.dir.path / "big.bin", kTooLarge);  // sparse: nothing is read
#ifndef _WIN32
    ASSERT_EQ(::mkfifo(f.dir.file("pipe").c_str(), 0644), 0);
    cases.push_back({{"pipe", "/oem1", "a.bin", "/err"},
                     "pipe is a named pipe, not an image file; it is left as it is.\n",
                     1});
    cases.push_back(
        {{"/dev/zero", "/D"}, "/dev/zero is a device, not an image file; it is left as it is.\n", 0});
#endif
    expect_runs(f, cases);
    EXPECT_EQ(f.image(), f.before);
#ifndef _WIN32
    EXPECT_TRUE(fs::is_fifo(f.dir.path / "pipe"));
#endif
}

#ifndef _WIN32  // owners, permission bits, users and hard links as POSIX has them
bool is_root() {
    return ::geteuid() == 0;
}

// A user without write permission, in a folder anyone may write: as root,
// another user; else the user running the tests.
std::optional<std::pair<std::uint32_t, std::uint32_t>> user_who_may_not_write() {
    if (is_root()) return std::pair<std::uint32_t, std::uint32_t>{1234, 2345};
    return std::nullopt;
}

TEST(ImageFiles, AnImageTheUserMayNotWriteFailsLikeAFailedOpen) {
    Fixture f;
    ASSERT_EQ(::chmod(f.dir.path.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(f.dir.file("bios.bin").c_str(), 0444), 0);
    Launch launch;
    launch.user = user_who_may_not_write();
    expect_runs(f,
                {
                    {{"bios.bin", "/oem1", "a.bin"}, "bios.bin file not found", 0},
                    {{"bios.bin", "/oem1", "a.bin", "/err"}, "bios.bin file not found", 1},
                },
                launch);
    EXPECT_EQ(f.image(), f.before);
    EXPECT_EQ(f.dir.files(), (std::vector<std::string>{"a.bin", "bios.bin"}));
    // Reading it is no write: a listing goes on.
    EXPECT_EQ(f.run({"bios.bin", "/D"}, launch).status, 0);
}

// The owner and group stay, set before the mode bits; where the owner cannot
// be kept (a user of the group edits another's image) the set-user-ID and
// set-group-ID bits are dropped, never left on a file of the wrong owner.
TEST(ImageFiles, OwnerGroupAndModeStayAndSetIdBitsNeverLandOnAnotherOwner) {
    if (!is_root()) GTEST_SKIP() << "giving files to other users needs root";
    const struct {
        uid_t owner;
        mode_t mode;
        std::optional<std::pair<std::uint32_t, std::uint32_t>> user;
        uid_t new_owner;
        mode_t new_mode;
    } cases[] = {
        {1234, 06751, std::nullopt, 1234, 06751},
        {4321, 06775, std::pair<std::uint32_t, std::uint32_t>{1234, 2345}, 1234, 0775},
    };
    for (const auto& c : cases) {
        Fixture f;
        ASSERT_EQ(::chmod(f.dir.path.c_str(), 0777), 0);
        const std::string image = f.dir.file("bios.bin");
        ASSERT_EQ(::chown(image.c_str(), c.owner, 2345), 0);
        ASSERT_EQ(::chmod(image.c_str(), c.mode), 0);
        Launch launch;
        launch.user = c.user;
        expect_runs(f, {{{"bios.bin", "/oem1", "a.bin"}, kAdded, 0}}, launch);
        struct stat st {};
        ASSERT_EQ(::stat(image.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, c.new_owner);
        EXPECT_EQ(st.st_gid, 2345u);
        EXPECT_EQ(st.st_mode & 07777, c.new_mode) << std::oct << c.mode;
        EXPECT_NE(f.image(), f.before);
    }
}

TEST(ImageFiles, OtherHardLinksKeepTheOldContentsAndTheRunSaysSo) {
    Fixture f;
    std::error_code ec;
    fs::create_hard_link(f.dir.path / "bios.bin", f.dir.path / "copy.bin", ec);
    if (ec) GTEST_SKIP() << "this file system has no hard links: " << ec.message();
    expect_runs(f, {{{"bios.bin", "/oem1", "a.bin"},
                     kAdded + "bios.bin has other hard links; they keep the old contents.\n",
                     0}});
    EXPECT_NE(f.image(), f.before);
    EXPECT_EQ(*platform::read_file(f.dir.file("copy.bin")), f.before);
}
#endif

}  // namespace
}  // namespace kitra::app
