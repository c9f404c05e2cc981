// The file system on POSIX systems: the hold is flock on the open file, the
// replacement a rename, an interrupt a signal held back while it lasts.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/files.h"
#include "platform/memory.h"

namespace kitra::platform {

std::optional<std::vector<std::uint8_t>> read_file(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return std::nullopt;
    // Read in one piece of the file's size (images are megabytes: growing a
    // buffer piece by piece would touch every page several times), then
    // whatever the file grew by meanwhile.
    std::vector<std::uint8_t> bytes;
    struct stat st {};
    if (::fstat(fileno(f), &st) == 0 && st.st_size > 0)
        resize_large(bytes, static_cast<std::size_t>(st.st_size));
    std::size_t size = std::fread(bytes.data(), 1, bytes.size(), f);
    bytes.resize(size);
    std::uint8_t chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return std::nullopt;
    return bytes;
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool wrote = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    return wrote && closed;
}

namespace {

// The requests that end a run from outside: Ctrl-C, a termination request,
// a closed terminal.
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

// While the image is being replaced, those requests wait (they are blocked,
// and stay pending) so that the replacement can tell between its steps that
// one came, remove its new file and leave the image as it was. When the hold
// ends the pending request takes effect as it would have without it. A
// request the process ignores (a run under nohup) is not held, so it never
// stops the replacement.
class InterruptHold {
  public:
    InterruptHold() {
        sigemptyset(&held_);
        for (int sig : kInterrupts) {
            struct sigaction action {};
            if (::sigaction(sig, nullptr, &action) == 0 && action.sa_handler != SIG_IGN)
                sigaddset(&held_, sig);
        }
        ::sigprocmask(SIG_BLOCK, &held_, &saved_);
    }
    ~InterruptHold() { ::sigprocmask(SIG_SETMASK, &saved_, nullptr); }
    InterruptHold(const InterruptHold&) = delete;
    InterruptHold& operator=(const InterruptHold&) = delete;

    bool interrupted() const {
        sigset_t pending;
        if (::sigpending(&pending) != 0) return false;
        for (int sig : kInterrupts)
            if (sigismember(&held_, sig) == 1 && sigismember(&pending, sig) == 1) return true;
        return false;
    }

  private:
    sigset_t held_{};
    sigset_t saved_{};
};

class Replacement {
  public:
    Replacement(const ReplaceOptions& options, const InterruptHold& hold) : options_(options), hold_(hold) {}

    // True when the step may go on: no injected fault and no interrupt.
    // Sets the reason otherwise.
    bool begin(ReplaceStep step) {
        if (options_.interrupt_at == step) ::raise(SIGTERM);
        if (hold_.interrupted()) {
            reason = "interrupted";
            return false;
        }
        if (options_.fail_at == step && step != ReplaceStep::kWrite) {
            fail(step == ReplaceStep::kCreate ? EACCES : step == ReplaceStep::kFlush ? EIO : EBUSY);
            return false;
        }
        return true;
    }
    void fail(int error) { reason = std::strerror(error); }

    std::optional<std::size_t> write_limit() const { return options_.write_limit(); }

    std::string reason;

  private:
    const ReplaceOptions& options_;
    const InterruptHold& hold_;
};

bool write_all(int fd, const std::uint8_t* data, std::size_t size, std::optional<std::size_t> limit) {
    std::size_t done = 0;
    while (done < size) {
        std::size_t want = size - done;
        if (limit) {
            if (done >= *limit) {
                errno = ENOSPC;
                return false;
            }
            want = std::min(want, *limit - done);
        }
        const ssize_t n = ::write(fd, data + done, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes, keeps the permission bits and flushes the new file; false with the
// reason set when a step fails or is interrupted.
bool fill_new_file(int fd, const std::vector<std::uint8_t>& bytes, mode_t mode, Replacement& r) {
    if (!r.begin(ReplaceStep::kWrite)) return false;
    if (!write_all(fd, bytes.data(), bytes.size(), r.write_limit()) || ::fchmod(fd, mode & 07777) != 0) {
        r.fail(errno);
        return false;
    }
    if (!r.begin(ReplaceStep::kFlush)) return false;
    if (::fsync(fd) != 0) {
        r.fail(errno);
        return false;
    }
    return true;
}

}  // namespace

std::string replace_file_atomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                                    const ReplaceOptions& options) {
    // Follow a symbolic link so that the link stays and its target is replaced.
    std::string target = path;
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) return std::strerror(errno);

    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    std::string temp = dir + (slash == std::string::npos ? "/" : "") + ".kitra-XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');

    const InterruptHold hold;
    Replacement r(options, hold);
    if (!r.begin(ReplaceStep::kCreate)) return r.reason;
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return std::strerror(errno);
    temp = name.data();

    bool ready = fill_new_file(fd, bytes, st.st_mode, r);
    if (::close(fd) != 0 && ready) {
        r.fail(errno);
        ready = false;
    }
    if (ready && r.begin(ReplaceStep::kRename) && ::rename(temp.c_str(), target.c_str()) != 0) r.fail(errno);
    if (!ready || !r.reason.empty()) {
        ::unlink(temp.c_str());
        return r.reason;
    }
    // Make the rename itself durable.
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return {};
}

void fail_writes_past_size_limit() {
    ::signal(SIGXFSZ, SIG_IGN);
}

FileLock::FileLock(FileLock&& other) noexcept : handle_(other.handle_) {
    other.handle_ = -1;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        if (held()) ::close(static_cast<int>(handle_));
        handle_ = other.handle_;
        other.handle_ = -1;
    }
    return *this;
}

// Closing the file releases its hold.
FileLock::~FileLock() {
    if (held()) ::close(static_cast<int>(handle_));
}

namespace {

// True when `path` still names the file open as `fd`.
bool names_file(const std::string& path, int fd) {
    struct stat open_file {};
    struct stat named {};
    return ::fstat(fd, &open_file) == 0 && ::stat(path.c_str(), &named) == 0 &&
           open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

}  // namespace

std::variant<FileLock, LockRefusal> lock_file(const std::string& path, const LockWait& wait) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    bool noticed = false;
    // Short pauses at first: the other run usually ends within milliseconds.
    std::chrono::milliseconds pause{1};
    for (;;) {
        // The hold is on the open file (flock), not on the name: a file of
        // its own, never shared with a child process.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return LockRefusal{LockProblem::kCannotOpen, std::strerror(errno)};
        FileLock lock(fd);
        for (;;) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) return LockRefusal{LockProblem::kFailed, std::strerror(errno)};
            const auto waited = Clock::now() - start;
            if (waited >= wait.give_up_after) return LockRefusal{LockProblem::kTimedOut, {}};
            if (!noticed && waited >= wait.notice_after) {
                noticed = true;
                if (wait.on_notice) wait.on_notice();
            }
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds{50});
        }
        if (names_file(path, fd)) return lock;
        // The holder before us renamed a new file over this one: hold that.
    }
}

}  // namespace kitra::platform
