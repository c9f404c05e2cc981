// The replacement of a file interrupted at each of its steps, and the hold
// on a file that another holder's commit renames a new file over. (Failing
// steps and waiting runs are tested through the tool, tests/app.)
#include "platform/files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
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
