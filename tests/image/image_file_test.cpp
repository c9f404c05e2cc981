#include "image/image_file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>

#include "platform/files.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"

namespace kitra::image {

using base::Bytes;
using base::ByteView;
namespace {

namespace fs = std::filesystem;

using testing::TempDir;

#ifndef _WIN32  // permission bits and symbolic links as POSIX has them
TEST(ImageFile, CommitReplacesTheImageKeepingItsModeAndFollowingALink) {
    TempDir dir;
    const std::string target = (dir.path / "real.bin").string();
    ASSERT_TRUE(platform::write_file(target, Bytes(0x20000, 0xFF)));
    ::chmod(target.c_str(), 0640);
    const std::string link = (dir.path / "bios.bin").string();
    fs::create_symlink(target, link);

    auto opened = open_image(link);
    ASSERT_TRUE(std::holds_alternative<Image>(opened));
    Image image = std::get<Image>(std::move(opened));
    EXPECT_EQ(commit(image), "");  // nothing changed, nothing written
    write_u8(image, 5, 0x12);
    EXPECT_EQ(commit(image), "");

    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ((*platform::read_file(target))[5], 0x12);
    struct stat st {};
    ::stat(target.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator{}), 2);
}
#endif

// Bytes written back as they were are no change: the file is not replaced
// (it keeps its inode). After a commit, the image is the file again.
TEST(ImageFile, CommitComparesWithTheFileNotWithWhatWasWritten) {
    TempDir dir;
    const std::string path = (dir.path / "bios.bin").string();
    ASSERT_TRUE(platform::write_file(path, testing::pseudo_random_bytes(0x20000, 5)));
    struct stat before {};
    ::stat(path.c_str(), &before);
    Image image = std::get<Image>(open_image(path));
    const Bytes old(image.bytes().begin() + 0x100, image.bytes().begin() + 0x200);
    fill(image, 0x100, 0x100, 0xFF);
    copy_into(image, 0x100, old);
    EXPECT_EQ(commit(image), "");
    struct stat after {};
    ::stat(path.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);

    write_u8(image, 0x100, static_cast<std::uint8_t>(old[0] ^ 1));
    EXPECT_EQ(commit(image), "");
    EXPECT_FALSE(image.changed());
    write_u8(image, 0x100, old[0]);  // back to what was read, which is no longer the file
    EXPECT_TRUE(image.changed());
    EXPECT_EQ(commit(image), "");
    EXPECT_EQ(*platform::read_file(path), image.bytes());
}

// An image made anew is written when its file does not hold it (or is not
// there), and not otherwise; a new file is made whole or not at all.
TEST(ImageFile, AMadeImageIsWrittenWhereItsFileDoesNotHoldIt) {
    TempDir dir;
    const std::string path = (dir.path / "new.bin").string();
    const Bytes bytes = testing::pseudo_random_bytes(0x20000, 6);
    Image failing(path, bytes, Image::OnDisk::kMissing);
    platform::ReplaceOptions full_disk;
    full_disk.fail_after_bytes = 4096;
    EXPECT_NE(commit(failing, full_disk), "");
    EXPECT_TRUE(fs::is_empty(dir.path));

    Image made(path, bytes, Image::OnDisk::kMissing);
    EXPECT_TRUE(made.differs_from_file());
    EXPECT_FALSE(made.changed());
    EXPECT_EQ(commit(made), "");
    EXPECT_EQ(*platform::read_file(path), bytes);
    EXPECT_FALSE(made.differs_from_file());

    struct stat before {};
    ::stat(path.c_str(), &before);
    Image same(path, bytes, Image::OnDisk::kSame);
    EXPECT_EQ(commit(same), "");
    struct stat after {};
    ::stat(path.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);

    const Bytes other = testing::pseudo_random_bytes(0x20000, 7);
    Image replacing(path, other, Image::OnDisk::kOther);
    EXPECT_EQ(commit(replacing), "");
    EXPECT_EQ(*platform::read_file(path), other);
}

TEST(ImageFile, AFailedWriteLeavesTheOldImageIntact) {
    TempDir dir;
    const std::string path = (dir.path / "bios.bin").string();
    const Bytes before = testing::pseudo_random_bytes(0x20000, 3);
    ASSERT_TRUE(platform::write_file(path, before));
    Image image = std::get<Image>(open_image(path));
    fill(image, 0, image.length(), 0);
    platform::ReplaceOptions full_disk;
    full_disk.fail_after_bytes = 4096;
    EXPECT_NE(commit(image, full_disk), "");
    EXPECT_EQ(*platform::read_file(path), before);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator{}), 1);
}

TEST(ImageFile, OpenRefusesMissingAndTooSmallImages) {
    TempDir dir;
    const std::string path = (dir.path / "small.bin").string();
    EXPECT_EQ(std::get<OpenFailure>(open_image(path)), OpenFailure::NotFound);
    EXPECT_EQ(open_failure_text("x.bin", OpenFailure::NotFound), "x.bin file not found");
    ASSERT_TRUE(platform::write_file(path, Bytes(0x1FFFF, 0xFF)));
    EXPECT_EQ(std::get<OpenFailure>(open_image(path)), OpenFailure::TooSmall);
}

}  // namespace
}  // namespace kitra::image
