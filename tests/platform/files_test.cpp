// The replacement of a file interrupted or failing at each of its steps,
// what the new file keeps of the old, links followed or replaced, reads with
// a bound, and the hold on a file that another holder's commit renames a new
// file over. (Failing commits and waiting runs are tested through the tool,
// tests/app.)
#include "platform/files.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

#include "support/image_builder.h"
#include "support/run_kitra.h"

namespace kitra::platform {
namespace {

using std::chrono::milliseconds;
using testing::TempDir;

constexpr ReplaceStep kSteps[] = {ReplaceStep::kCreate, ReplaceStep::kWrite, ReplaceStep::kFlush,
                                  ReplaceStep::kRename};

namespace fs = std::filesystem;

std::vector<std::string> files_in(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    return names;
}

// A directory that both processes of a death test find: the statement runs
// in a child process that, on Windows, runs the test again from its start;
// it takes the directory the parent made from the environment.
fs::path death_test_dir(const std::string& name) {
    static std::unique_ptr<TempDir> made;
    const char* kVariable = "KITRA_DEATH_TEST_DIR";
    fs::path root;
    if (const char* inherited = std::getenv(kVariable)) {
        root = inherited;
    } else {
        made = std::make_unique<TempDir>();
        root = made->path;
#ifdef _WIN32
        _putenv_s(kVariable, root.string().c_str());
#else
        ::setenv(kVariable, root.c_str(), 1);
#endif
    }
    fs::create_directories(root / name);
    return root / name;
}

struct OldFile {
    std::unique_ptr<TempDir> own;
    fs::path dir;
    std::string path;
    base::Bytes old_bytes = testing::pseudo_random_bytes(0x30000, 1);
    base::Bytes new_bytes = testing::pseudo_random_bytes(0x30000, 2);
    explicit OldFile(std::optional<fs::path> in = std::nullopt)
        : own(in ? nullptr : std::make_unique<TempDir>()),
          dir(in ? *in : own->path),
          path((dir / "bios.bin").string()) {
        EXPECT_TRUE(write_file(path, old_bytes));
    }
    // The file as it was and nothing beside it.
    void expect_untouched() {
        EXPECT_EQ(*read_file(path), old_bytes);
        EXPECT_EQ(files_in(dir), std::vector<std::string>{"bios.bin"});
    }
};

// The replacement interrupted at `step`: it stops, leaves the file, and the
// process then ends as the interrupt would have ended it.
[[noreturn]] void replace_interrupted(const OldFile& f, ReplaceStep step) {
    ReplaceOptions interrupted;
    interrupted.interrupt_at = step;
    const std::string reason = replace_file_atomically(f.path, f.new_bytes, interrupted);
    std::_Exit(reason.empty() ? 0 : 3);  // nothing of the parent's is cleaned up here
}

#ifdef _WIN32
// A Ctrl-C ends a console process with this status.
const auto kEndedByInterrupt =
    ::testing::ExitedWithCode(static_cast<int>(0xC000013A));  // STATUS_CONTROL_C_EXIT
#else
const auto kEndedByInterrupt = ::testing::KilledBySignal(SIGTERM);
#endif

TEST(ReplaceFile, AnInterruptBeforeTheRenameEndsTheProcessAndLeavesTheFile) {
    for (ReplaceStep step : kSteps) {
        OldFile f(death_test_dir("step" + std::to_string(static_cast<int>(step))));
        EXPECT_EXIT(replace_interrupted(f, step), kEndedByInterrupt, "");
        f.expect_untouched();
    }
#ifndef _WIN32
    // A process that ignores the request (nohup) finishes the replacement.
    OldFile f(death_test_dir("ignored"));
    EXPECT_EXIT(
        {
            ::signal(SIGTERM, SIG_IGN);
            replace_interrupted(f, ReplaceStep::kWrite);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(*read_file(f.path), f.new_bytes);
    EXPECT_EQ(files_in(f.dir), std::vector<std::string>{"bios.bin"});
#endif
}

// A write that fails at any step, or on a full disk, leaves the old file
// whole, or no file where there was none, and nothing beside it.
TEST(WriteFileAtomically, AFailureAtAnyStepLeavesTheOldFileOrNone) {
    std::vector<ReplaceOptions> failures(std::size(kSteps) + 1);
    for (std::size_t i = 0; i < std::size(kSteps); ++i) failures[i].fail_at = kSteps[i];
    failures.back().fail_after_bytes = 0x1000;  // a full disk halfway
    for (const bool old_there : {true, false}) {
        for (const ReplaceOptions& failing : failures) {
            OldFile f;
            if (!old_there) fs::remove(f.path);
            EXPECT_NE(write_file_atomically(f.path, f.new_bytes, LinkRule::kFollow, failing), "");
            if (old_there)
                f.expect_untouched();
            else
                EXPECT_EQ(files_in(f.dir), std::vector<std::string>{});
        }
    }
    OldFile f;
    EXPECT_EQ(write_file_atomically(f.path, f.new_bytes, LinkRule::kReplace), "");
    EXPECT_EQ(*read_file(f.path), f.new_bytes);
    EXPECT_EQ(files_in(f.dir), std::vector<std::string>{"bios.bin"});
}

TEST(ReadFileUpTo, ReadsWithinTheBoundAndRefusesWhatIsNoFileWithoutWaiting) {
    OldFile f;  // 0x30000 bytes
    const std::string missing = (f.dir / "missing").string();
    const auto problem = [](const std::variant<base::Bytes, ReadProblem>& read) {
        return std::holds_alternative<ReadProblem>(read) ? std::optional(std::get<ReadProblem>(read))
                                                         : std::nullopt;
    };
    EXPECT_EQ(std::get<base::Bytes>(read_file_up_to(f.path, 0x30000, true)), f.old_bytes);
    const struct {
        std::string path;
        std::uint64_t bound;
        bool regular_only;
        std::optional<ReadProblem> expected;
    } cases[] = {
        {f.path, 0x2FFFF, false, ReadProblem::kTooLarge},
        {missing, 100, false, ReadProblem::kCannotRead},
        {missing, 100, true, ReadProblem::kCannotRead},
        {f.dir.string(), 100, true, ReadProblem::kNotRegular},
#ifndef _WIN32
        {"/dev/zero", 100000, false, ReadProblem::kTooLarge},  // read until past the bound
        {"/dev/null", 100, false, std::nullopt},
        {"/dev/null", 100, true, ReadProblem::kNotRegular},
        {(f.dir / "fifo").string(), 100, true, ReadProblem::kNotRegular},  // no writer: no wait
#endif
    };
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((f.dir / "fifo").c_str(), 0600), 0);
#endif
    for (const auto& c : cases)
        EXPECT_EQ(problem(read_file_up_to(c.path, c.bound, c.regular_only)), c.expected) << c.path;
}

#ifndef _WIN32  // symbolic links, modes and attributes as POSIX has them
TEST(WriteFileAtomically, ALinkIsFollowedOrReplacedAsAsked) {
    TempDir d;
    const auto at = [&](const char* name) { return d.file(name); };
    ASSERT_TRUE(write_file(at("victim"), {1}));
    fs::create_symlink("victim", at("link"));
    fs::create_symlink("gone", at("dangling"));
    fs::create_directory(at("folder"));
    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);

    EXPECT_EQ(write_file_atomically(at("link"), {2}, LinkRule::kFollow), "");
    EXPECT_TRUE(fs::is_symlink(at("link")));
    EXPECT_EQ(*read_file(at("victim")), base::Bytes{2});
    EXPECT_EQ(write_file_atomically(at("link"), {3}, LinkRule::kReplace), "");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(at("link"))));
    EXPECT_EQ(*read_file(at("link")), base::Bytes{3});
    EXPECT_EQ(*read_file(at("victim")), base::Bytes{2});

    EXPECT_EQ(write_file_atomically(at("dangling"), {4}, LinkRule::kFollow), "No such file or directory");
    EXPECT_EQ(write_file_atomically(at("folder"), {4}, LinkRule::kFollow), "Is a directory");
    EXPECT_EQ(write_file_atomically(at("fifo"), {4}, LinkRule::kReplace), "not a regular file");
    EXPECT_EQ(write_file_atomically("/dev/null", {4}, LinkRule::kFollow), "");  // written into
    EXPECT_EQ(replace_file_atomically(at("missing"), {4}), "No such file or directory");
    EXPECT_TRUE(fs::is_symlink(at("dangling")));
    EXPECT_TRUE(fs::is_fifo(at("fifo")));
    EXPECT_EQ(d.files(), (std::vector<std::string>{"dangling", "fifo", "folder", "link", "victim"}));
}

// A POSIX ACL as the file system stores it ("system.posix_acl_access"):
// the owner rw, user 1234 rw, the group r, mask rw, others r.
base::Bytes access_acl() {
    base::Bytes acl = {2, 0, 0, 0};
    const auto entry = [&](std::uint16_t tag, std::uint16_t perm, std::uint32_t id) {
        for (int i = 0; i < 2; ++i) acl.push_back(static_cast<std::uint8_t>(tag >> (8 * i)));
        for (int i = 0; i < 2; ++i) acl.push_back(static_cast<std::uint8_t>(perm >> (8 * i)));
        for (int i = 0; i < 4; ++i) acl.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
    };
    entry(0x01, 6, 0xFFFFFFFF);
    entry(0x02, 6, 1234);
    entry(0x04, 4, 0xFFFFFFFF);
    entry(0x10, 6, 0xFFFFFFFF);
    entry(0x20, 4, 0xFFFFFFFF);
    return acl;
}

std::optional<base::Bytes> attribute(const std::string& path, const char* name) {
    base::Bytes value(256);
    const ssize_t n = ::getxattr(path.c_str(), name, value.data(), value.size());
    if (n < 0) return std::nullopt;
    value.resize(static_cast<std::size_t>(n));
    return value;
}

// The mode bits stay, but the set-user-ID and set-group-ID bits never stand
// on a file whose owner could not be kept; extended attributes and the ACL
// stay with the file.
TEST(ReplaceFile, TheNewFileKeepsModeAndAttributesAndDropsSetIdBitsWithTheOwner) {
    const struct {
        mode_t mode;
        bool owner_refused;
        mode_t expected;
    } cases[] = {{06755, false, 06755}, {06755, true, 0755}, {02770, true, 0770}, {0640, true, 0640}};
    for (const auto& c : cases) {
        OldFile f;
        ASSERT_EQ(::chmod(f.path.c_str(), c.mode), 0);
        ReplaceOptions options;
        options.owner_refused = c.owner_refused;
        ASSERT_EQ(replace_file_atomically(f.path, f.new_bytes, options), "");
        struct stat st {};
        ::stat(f.path.c_str(), &st);
        EXPECT_EQ(st.st_mode & 07777, c.expected) << std::oct << c.mode;
        f.old_bytes = f.new_bytes;
        f.expect_untouched();
    }

    OldFile f;
    const base::Bytes note = {'n', 'o', 't', 'e'}, acl = access_acl();
    if (::setxattr(f.path.c_str(), "user.kitra", note.data(), note.size(), 0) != 0 ||
        ::setxattr(f.path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
        GTEST_SKIP() << "this file system keeps no extended attributes or ACLs: " << std::strerror(errno);
    ASSERT_EQ(replace_file_atomically(f.path, f.new_bytes), "");
    EXPECT_EQ(attribute(f.path, "user.kitra"), note);
    EXPECT_EQ(attribute(f.path, "system.posix_acl_access"), acl);
    struct stat st {};
    ::stat(f.path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0664u);  // the ACL's mask as the group bits

    // A folder's default ACL, which every new file there gets, is not given
    // to a file that had no ACL.
    OldFile g;
    ASSERT_EQ(::setxattr(g.dir.c_str(), "system.posix_acl_default", acl.data(), acl.size(), 0), 0);
    ASSERT_EQ(replace_file_atomically(g.path, g.new_bytes), "");
    EXPECT_EQ(attribute(g.path, "system.posix_acl_access"), std::nullopt);
}
#endif

// The first holder commits by renaming a new file over the name: the waiter
// must end up holding the new file, not the old one nobody names any more.
TEST(FileLock, AWaiterHoldsTheFileRenamedOverTheName) {
    OldFile f;
    auto first = std::make_unique<std::variant<FileLock, LockRefusal>>(lock_file(f.path, {}));
    ASSERT_TRUE(std::holds_alternative<FileLock>(*first));
    std::variant<FileLock, LockRefusal> second;
    std::thread waiter([&] { second = lock_file(f.path, {milliseconds{1000}, milliseconds{5000}, {}}); });
    std::this_thread::sleep_for(milliseconds{50});
    ASSERT_EQ(replace_file_atomically(f.path, f.new_bytes), "");
    first.reset();
    waiter.join();
    ASSERT_TRUE(std::holds_alternative<FileLock>(second));
    // The current file is held.
    const auto third = lock_file(f.path, {milliseconds{0}, milliseconds{0}, {}});
    ASSERT_TRUE(std::holds_alternative<LockRefusal>(third));
    EXPECT_EQ(std::get<LockRefusal>(third).problem, LockProblem::kTimedOut);
}

}  // namespace
}  // namespace kitra::platform
