// The replacement of a file interrupted at each of its steps, and the hold
// on a file that another holder's commit renames a new file over. (Failing
// steps and waiting runs are tested through the tool, tests/app.)
#include "platform/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "support/image_builder.h"
#include "support/run_kitra.h"

namespace kitra::platform {
namespace {

using std::chrono::milliseconds;
using testing::TempDir;

constexpr ReplaceStep kSteps[] = {ReplaceStep::kCreate, ReplaceStep::kWrite, ReplaceStep::kFlush,
                                  ReplaceStep::kRename};

struct OldFile {
    TempDir dir;
    std::string path = dir.file("bios.bin");
    base::Bytes old_bytes = testing::pseudo_random_bytes(0x30000, 1);
    base::Bytes new_bytes = testing::pseudo_random_bytes(0x30000, 2);
    OldFile() { EXPECT_TRUE(write_file(path, old_bytes)); }
    // The file as it was and nothing beside it.
    void expect_untouched() {
        EXPECT_EQ(*read_file(path), old_bytes);
        EXPECT_EQ(dir.files(), std::vector<std::string>{"bios.bin"});
    }
};

// In a child process, since the interrupt ends it.
int replace_in_child(const OldFile& f, ReplaceStep step, bool ignore_interrupts) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (ignore_interrupts) ::signal(SIGTERM, SIG_IGN);
        ReplaceOptions interrupted;
        interrupted.interrupt_at = step;
        const std::string reason = replace_file_atomically(f.path, f.new_bytes, interrupted);
        ::_exit(reason.empty() ? 0 : 3);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

TEST(ReplaceFile, AnInterruptBeforeTheRenameEndsTheProcessAndLeavesTheFile) {
    for (ReplaceStep step : kSteps) {
        OldFile f;
        const int status = replace_in_child(f, step, false);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
        f.expect_untouched();
    }
    // A process that ignores the request (nohup) finishes the replacement.
    OldFile f;
    const int status = replace_in_child(f, ReplaceStep::kWrite, true);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(*read_file(f.path), f.new_bytes);
    EXPECT_EQ(f.dir.files(), std::vector<std::string>{"bios.bin"});
}

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
    const int fd = ::open(f.path.c_str(), O_RDONLY);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), -1);  // the current file is held
    ::close(fd);
}

}  // namespace
}  // namespace kitra::platform
