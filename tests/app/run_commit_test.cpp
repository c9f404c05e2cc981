// The end of a run that changes the image: the hold on it from opening to
// commit, and the commit failing, interrupted or killed.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string_view>
#include <thread>
#include <variant>

#include "app/run.h"
#include "codec/lzh_encoder.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "platform/files.h"
#include "support/captured_console.h"
#include "support/image_builder.h"
#include "support/rng.h"
#include "support/run_kitra.h"

namespace kitra::app {
namespace {

using base::Bytes;
using std::chrono::milliseconds;
using testing::TempDir;

const std::string kBanner = "kitra V1.99 [02/12/2010]\n";

// An image of `size` bytes with a system BIOS module and a bootblock record.
Bytes base_image(std::size_t size = 256 * 1024) {
    testing::ImageBuilder b(size);
    codec::Encoder encoder;
    b.put(0, codec::pack(testing::code_like(0x1000, 1), codec::PackMode::kQuiet, "sys.rom", "5000:0", encoder,
                         {}));
    b.put_bootblock_record(size - 0x20000 + 0x100, 0, 0xF000, 0x0000, 0xE000);
    return b.bytes;
}

struct Fixture {
    TempDir dir;
    std::string image = dir.file("bios.bin");
    Bytes before;
    explicit Fixture(std::size_t size = 256 * 1024) : before(base_image(size)) {
        EXPECT_TRUE(platform::write_file(image, before));
        EXPECT_TRUE(platform::write_file(dir.file("a.bin"), Bytes(100, 1)));
        EXPECT_TRUE(platform::write_file(dir.file("b.bin"), Bytes(200, 2)));
    }
    Bytes now() const { return *platform::read_file(image); }
    void expect_untouched() const {
        EXPECT_EQ(now(), before);
        EXPECT_EQ(dir.files(), (std::vector<std::string>{"a.bin", "b.bin", "bios.bin"}));
    }
    // Type IDs of the modules from the walk start on.
    std::vector<std::uint16_t> types() const {
        const Bytes img = now();
        std::vector<std::uint16_t> out;
        std::uint64_t pos = 0x10000;
        while (auto m = codec::module_at(img, pos)) {
            out.push_back(m->type_id);
            pos += m->step();
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    // The run in this process, with its text captured.
    std::pair<int, std::string> run_here(std::vector<std::string> items, const RunOptions& options) const {
        testing::CapturedConsole cap;
        items.insert(items.begin(), {"kitra", image});
        const int status = run_tool(items, std::nullopt, cap.con, options);
        return {status, cap.out()};
    }
};

// Another run's hold on the image, taken the way kitra takes it.
struct OtherRun {
    platform::FileLock lock;
    explicit OtherRun(const std::string& path) {
        auto taken = platform::lock_file(path, {});
        EXPECT_TRUE(std::holds_alternative<platform::FileLock>(taken));
        if (auto* held = std::get_if<platform::FileLock>(&taken)) lock = std::move(*held);
    }
};

#ifdef _WIN32
// The system's words for an error, as kitra quotes them.
std::string reason(DWORD error) {
    char text[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                   sizeof text, nullptr);
    std::string s = text;
    while (!s.empty() && std::string_view("\r\n .").find(s.back()) != std::string_view::npos) s.pop_back();
    return s;
}
#endif

TEST(RunCommit, AFailureAtAnyStepOfTheCommitLeavesTheImageAndSaysSo) {
#ifdef _WIN32
    const std::pair<platform::ReplaceStep, std::string> steps[] = {
        {platform::ReplaceStep::kCreate, reason(ERROR_ACCESS_DENIED)},
        {platform::ReplaceStep::kWrite, reason(ERROR_DISK_FULL)},
        {platform::ReplaceStep::kFlush, reason(ERROR_WRITE_FAULT)},
        {platform::ReplaceStep::kRename, reason(ERROR_SHARING_VIOLATION)},
    };
#else
    const std::pair<platform::ReplaceStep, std::string> steps[] = {
        {platform::ReplaceStep::kCreate, "Permission denied"},
        {platform::ReplaceStep::kWrite, "No space left on device"},
        {platform::ReplaceStep::kFlush, "Input/output error"},
        {platform::ReplaceStep::kRename, "Device or resource busy"},
    };
#endif
    for (const auto& [step, reason] : steps) {
        Fixture f;
        RunOptions options;
        options.commit.fail_at = step;
        const auto [status, out] = f.run_here({"/oem1", f.dir.file("a.bin"), "/err"}, options);
        EXPECT_EQ(out, kBanner + "Adding " + f.dir.file("a.bin") + "  9.0%\nCan't write " + f.image + " (" +
                           reason + "). The image is left unmodified.\n");
        EXPECT_EQ(status, 1);
        f.expect_untouched();
    }
}

#ifndef _WIN32  // Windows has no file-size limit
TEST(RunCommit, AWriteBeyondTheFileSizeLimitIsAFailureNotACrash) {
    Fixture f;
    testing::Launch launch;
    launch.file_size_limit = 0x10000;
    const auto o =
        testing::finish_kitra(testing::start_kitra({"bios.bin", "/oem1", "a.bin"}, f.dir.path, launch));
    EXPECT_EQ(o.out, kBanner +
                         "Adding a.bin  9.0%\nCan't write bios.bin (File too large). The image is left "
                         "unmodified.\n");
    EXPECT_EQ(o.status, 1);
    f.expect_untouched();
}
#endif

TEST(RunCommit, ARunThatWouldChangeTheImageWaitsThenGivesUpWhileAListingGoesOn) {
    Fixture f;
    const OtherRun other(f.image);
    RunOptions options;
    options.lock_notice_after = milliseconds{20};
    options.lock_give_up_after = milliseconds{100};
    auto [status, out] = f.run_here({"/oem1", f.dir.file("a.bin")}, options);
    EXPECT_EQ(
        out, kBanner + f.image + " is in use by another run of kitra; waiting for it to finish.\n" + f.image +
                 " is still in use by another run of kitra; this run gives up waiting. The image is left "
                 "unmodified.\n");
    EXPECT_EQ(status, 1);
    f.expect_untouched();
    // Listing and extracting hold nothing, so they do not wait.
    std::tie(status, out) = f.run_here({"/D", "/oem1", "extract"}, options);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out.find("in use"), std::string::npos) << out;
}

// Two runs adding different modules to one image at the same moment, as a
// parallel build starts them: both modules are there afterwards.
TEST(RunCommit, TwoRunsOnOneImageTakeTurnsAndLoseNoChange) {
    for (int round = 0; round < 4; ++round) {
        Fixture f;
        const auto first = testing::start_kitra({"bios.bin", "/oem1", "a.bin"}, f.dir.path);
        const auto second = testing::start_kitra({"bios.bin", "/oem2", "b.bin"}, f.dir.path);
        EXPECT_EQ(testing::finish_kitra(first).status, 0);
        EXPECT_EQ(testing::finish_kitra(second).status, 0);
        EXPECT_EQ(f.types(), (std::vector<std::uint16_t>{0x4013, 0x4014})) << round;
    }
    // Held up by a third for over a second, both say so, then both go on; the
    // second to go on works on the file the first renamed over the name.
    Fixture f;
    auto other = std::make_unique<OtherRun>(f.image);
    const auto first = testing::start_kitra({"bios.bin", "/oem1", "a.bin"}, f.dir.path);
    const auto second = testing::start_kitra({"bios.bin", "/oem2", "b.bin"}, f.dir.path);
    std::this_thread::sleep_for(milliseconds{1300});
    other.reset();
    const std::string waited =
        kBanner + "bios.bin is in use by another run of kitra; waiting for it to finish.\n";
    const auto one = testing::finish_kitra(first), two = testing::finish_kitra(second);
    EXPECT_EQ(one.out, waited + "Adding a.bin  9.0%\n");
    EXPECT_EQ(two.out, waited + "Adding b.bin  4.5%\n");
    EXPECT_EQ(one.status + two.status, 0);
    EXPECT_EQ(f.types(), (std::vector<std::uint16_t>{0x4013, 0x4014}));
}

#ifndef _WIN32  // ended from outside by a signal
bool running(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

// Whether the process has a new file of the folder open: a named one
// (".kitra-") or, where the file system makes them, an unnamed one (shown
// as "#<number> (deleted)").
bool writes_new_file(pid_t pid, const std::filesystem::path& dir) {
    const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code ec;
    for (const auto& fd : std::filesystem::directory_iterator(fds, ec)) {
        const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
        const std::string in_dir = dir.string() + "/";
        if (target.rfind(in_dir + ".kitra-", 0) == 0 || target.rfind(in_dir + "#", 0) == 0) return true;
    }
    return false;
}

// Whether new files are made unnamed in `dir`: then a kill leaves nothing.
bool makes_unnamed_files(const std::filesystem::path& dir) {
    const int fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// A run ended from outside at a random moment of its commit: the image is
// the old one or the new one, byte for byte. An interrupt or termination
// request also leaves no temporary file; so does a kill where the new file
// is made unnamed.
TEST(RunCommit, ARunKilledDuringItsCommitLeavesTheOldImageOrTheNew) {
    constexpr std::size_t kSize = 2u << 20;  // so that the commit takes a while
    Fixture done(kSize);
    ASSERT_EQ(testing::run_kitra({"bios.bin", "/oem1", "a.bin"}, done.dir.path).status, 0);
    const Bytes after = done.now();
    ASSERT_NE(after, done.before);
    const int signals[] = {SIGTERM, SIGINT, SIGHUP, SIGKILL};
    testing::Rng rng(17);
    int old_ones = 0, new_ones = 0;
    for (int trial = 0; trial < 16; ++trial) {
        const int sig = signals[trial % 4];
        Fixture f(kSize);
        const auto run = testing::start_kitra({"bios.bin", "/oem1", "a.bin"}, f.dir.path);
        // The commit has begun when the run has its new file open.
        while (!writes_new_file(run.pid, f.dir.path) && running(run.pid))
            std::this_thread::sleep_for(std::chrono::microseconds{50});
        std::this_thread::sleep_for(std::chrono::microseconds{rng.below(20000)});
        ::kill(run.pid, sig);
        (void)testing::finish_kitra(run);
        const Bytes img = f.now();
        EXPECT_TRUE(img == f.before || img == after) << "trial " << trial << ", signal " << sig;
        (img == f.before ? old_ones : new_ones)++;
        const auto files = f.dir.files();
        if (sig != SIGKILL || makes_unnamed_files(f.dir.path)) {
            EXPECT_EQ(files, (std::vector<std::string>{"a.bin", "b.bin", "bios.bin"})) << "signal " << sig;
        }
    }
    std::printf("killed during the commit: %d old images, %d new images\n", old_ones, new_ones);
}
#endif

}  // namespace
}  // namespace kitra::app
