// The file system on POSIX systems: the hold is flock on the open file, the
// replacement a rename (of an unnamed file given a name just before it, on
// Linux), an interrupt a signal held back while it lasts.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

#include "platform/files.h"
#include "platform/memory.h"

namespace kitra::platform {

namespace {

// A file descriptor closed when it goes out of scope.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // False when closing reports an error (a write that failed late).
    bool close() {
        const bool closed = fd_ < 0 || ::close(fd_) == 0;
        fd_ = -1;
        return closed;
    }

  private:
    int fd_;
};

FileKind kind_of(mode_t mode) {
    if (S_ISREG(mode)) return FileKind::kRegular;
    if (S_ISDIR(mode)) return FileKind::kFolder;
    if (S_ISFIFO(mode)) return FileKind::kPipe;
    if (S_ISCHR(mode)) return FileKind::kCharacterDevice;
    if (S_ISBLK(mode)) return FileKind::kBlockDevice;
    if (S_ISSOCK(mode)) return FileKind::kSocket;
    return FileKind::kOther;
}

}  // namespace

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

FileKind file_kind(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return FileKind::kMissing;
    return kind_of(st.st_mode);
}

std::variant<std::vector<std::uint8_t>, ReadProblem> read_file_up_to(const std::string& path,
                                                                     std::uint64_t max_size,
                                                                     bool regular_only) {
    // Opening some devices does something (a tape rewinds when it is
    // closed): what is no regular file is refused before it is opened, and
    // again after, without waiting, in case the name changed meanwhile.
    if (regular_only) {
        const FileKind kind = file_kind(path);
        if (kind == FileKind::kMissing) return ReadProblem::kCannotRead;
        if (kind != FileKind::kRegular) return ReadProblem::kNotRegular;
    }
    const Descriptor f(::open(path.c_str(), O_RDONLY | O_CLOEXEC | (regular_only ? O_NONBLOCK : 0)));
    if (!f.valid()) return ReadProblem::kCannotRead;
    struct stat st {};
    if (::fstat(f.get(), &st) != 0) return ReadProblem::kCannotRead;
    const bool regular = S_ISREG(st.st_mode);
    if (regular_only && !regular) return ReadProblem::kNotRegular;
    if (regular && static_cast<std::uint64_t>(st.st_size) > max_size) return ReadProblem::kTooLarge;

    // A regular file is read in one piece of its size (growing a buffer of
    // megabytes would copy and touch every page again), then whatever it
    // grew by meanwhile; anything else in pieces, up to one byte past the
    // bound.
    std::vector<std::uint8_t> bytes;
    if (regular && st.st_size > 0) resize_large(bytes, static_cast<std::size_t>(st.st_size));
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t n = ::read(f.get(), bytes.data() + filled, bytes.size() - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ReadProblem::kCannotRead;
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    std::uint8_t piece[65536];
    for (;;) {
        const ssize_t n = ::read(f.get(), piece, sizeof piece);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ReadProblem::kCannotRead;
        if (n == 0) break;
        if (bytes.size() + static_cast<std::size_t>(n) > max_size) return ReadProblem::kTooLarge;
        bytes.insert(bytes.end(), piece, piece + n);
    }
    return bytes;
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string full_path(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    std::string dir(PATH_MAX, '\0');
    if (::getcwd(dir.data(), dir.size()) == nullptr) return path;
    dir.resize(std::strlen(dir.c_str()));
    return dir + (dir.ends_with('/') ? "" : "/") + path;
}

bool may_write(const std::string& path) {
    // With the effective IDs, as an open for update is checked.
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

std::uint64_t link_count(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return st.st_nlink;
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

    const ReplaceOptions& options() const { return options_; }
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

// Where the new file goes, and what is there now.
struct Target {
    std::string path;       // the name the new file takes
    std::string folder;     // the name's folder part, with its '/' (empty: the current folder)
    bool exists = false;    // a regular file is there: the new one keeps its attributes
    bool in_place = false;  // a device or a pipe: written into as it is
    struct stat st {};      // of the file there
};

std::variant<Target, std::string> find_target(const std::string& path, LinkRule links, bool must_exist) {
    Target t;
    t.path = path;
    struct stat named {};
    if (::lstat(path.c_str(), &named) != 0) {
        if (errno != ENOENT || must_exist) return std::string(std::strerror(errno));
    } else if (S_ISLNK(named.st_mode) && links == LinkRule::kFollow) {
        // The link stays and the file it leads to is replaced: the new file
        // is made in that file's folder, so the rename stays on one file
        // system. A link to nothing is refused rather than replaced.
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) return std::string(std::strerror(errno));
        t.path = resolved;
        std::free(resolved);
        if (::stat(t.path.c_str(), &t.st) != 0) return std::string(std::strerror(errno));
        t.exists = true;
    } else if (!S_ISLNK(named.st_mode)) {
        t.st = named;
        t.exists = true;
    }
    if (t.exists && !S_ISREG(t.st.st_mode)) {
        if (S_ISDIR(t.st.st_mode)) return std::string(std::strerror(EISDIR));
        if (must_exist || links == LinkRule::kReplace) return std::string("not a regular file");
        t.exists = false;
        t.in_place = true;
    }
    if (t.exists && !may_write(t.path)) return std::string(std::strerror(errno));
    const std::size_t slash = t.path.rfind('/');
    if (slash != std::string::npos) t.folder = t.path.substr(0, slash + 1);
    return t;
}

// ".kitra-" and six random letters and digits, in `folder`.
std::string temporary_name(const std::string& folder) {
    static std::mt19937_64 random{std::random_device{}() ^ static_cast<std::uint64_t>(::getpid())};
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string name = folder + ".kitra-";
    for (int i = 0; i < 6; ++i) name.push_back(kLetters[random() % (sizeof kLetters - 1)]);
    return name;
}

// A new file of that name, open for writing, with `mode` as a new file gets
// it (less the umask, or the folder's default ACL).
int create_named(const std::string& folder, mode_t mode, std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporary_name(folder);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// A new file without a name in `folder` (Linux): nothing is left of it when
// the process is killed before it is named. -1 where the file system or the
// system has no such files.
int create_unnamed(const std::string& folder, mode_t mode) {
#ifdef O_TMPFILE
    return ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
#else
    (void)folder;
    (void)mode;
    errno = EOPNOTSUPP;
    return -1;
#endif
}

// Gives the unnamed file `fd` a name in `folder`: a link by the descriptor
// itself where the process may make one, else by its /proc name.
bool name_unnamed(int fd, const std::string& folder, std::string& name) {
#ifdef __linux__
    const std::string by_proc = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporary_name(folder);
        if (::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return true;
        if (errno == EEXIST) continue;
        if (::linkat(AT_FDCWD, by_proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        if (errno != EEXIST) return false;
    }
#else
    (void)fd;
    (void)folder;
    (void)name;
#endif
    return false;
}

#ifdef __linux__
// A list of names or a value of an extended attribute; false with errno set.
bool read_attribute_list(const std::string& path, std::vector<char>& names) {
    for (;;) {
        const ssize_t size = ::llistxattr(path.c_str(), nullptr, 0);
        if (size < 0) return false;
        names.resize(static_cast<std::size_t>(size));
        if (size == 0) return true;
        const ssize_t got = ::llistxattr(path.c_str(), names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno != ERANGE) return false;
    }
}

std::optional<std::vector<char>> attribute_value(const std::string& path, const char* name) {
    for (;;) {
        const ssize_t size = ::lgetxattr(path.c_str(), name, nullptr, 0);
        if (size < 0) return std::nullopt;
        std::vector<char> value(static_cast<std::size_t>(size));
        const ssize_t got = ::lgetxattr(path.c_str(), name, value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<std::size_t>(got));
            return value;
        }
        if (errno != ERANGE) return std::nullopt;
    }
}

bool has_attribute_value(int fd, const char* name, const std::vector<char>& value) {
    std::vector<char> now(value.size() + 1);
    const ssize_t got = ::fgetxattr(fd, name, now.data(), now.size());
    return got == static_cast<ssize_t>(value.size()) && std::equal(value.begin(), value.end(), now.begin());
}
#endif

// The old file's extended attributes (its ACL among them, "system.posix_acl_access")
// on the new file. One that the new file already carries as it is (a label
// the system gives every new file there) is left; one that cannot be set
// fails the replacement: nothing of the old file is lost unsaid.
bool keep_extended_attributes(int fd, const std::string& from, Replacement& r) {
#ifdef __linux__
    std::vector<char> names;
    if (!read_attribute_list(from, names)) {
        if (errno == ENOTSUP || errno == ENOSYS) return true;  // none here
        r.reason = std::string("its extended attributes cannot be read: ") + std::strerror(errno);
        return false;
    }
    // A folder's default ACL gives every new file in it an ACL: one the old
    // file did not have is taken away again.
    constexpr const char* kAccessAcl = "system.posix_acl_access";
    bool old_acl = false;
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1)
        old_acl = old_acl || std::strcmp(names.data() + at, kAccessAcl) == 0;
    if (!old_acl && ::fremovexattr(fd, kAccessAcl) != 0 && errno != ENODATA && errno != ENOTSUP) {
        r.reason = std::string("its ACL cannot be kept: ") + std::strerror(errno);
        return false;
    }
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1) {
        const char* name = names.data() + at;
        const std::optional<std::vector<char>> value = attribute_value(from, name);
        if (!value) {
            if (errno == ENODATA) continue;  // removed meanwhile
            r.reason =
                std::string("its extended attribute ") + name + " cannot be read: " + std::strerror(errno);
            return false;
        }
        if (has_attribute_value(fd, name, *value)) continue;
        if (::fsetxattr(fd, name, value->data(), value->size(), 0) != 0) {
            r.reason =
                std::string("its extended attribute ") + name + " cannot be kept: " + std::strerror(errno);
            return false;
        }
    }
#else
    (void)fd;
    (void)from;
    (void)r;
#endif
    return true;
}

// The old file's owner and group, then its mode bits, then its extended
// attributes and ACL. The owner goes first: changing it clears the
// set-user-ID and set-group-ID bits, and those must never stand on a file
// of another owner or group than the one they were set for.
bool keep_attributes(int fd, const Target& t, Replacement& r) {
    const struct stat& old = t.st;
    struct stat now {};
    if (::fstat(fd, &now) != 0) {
        r.fail(errno);
        return false;
    }
    bool owner = now.st_uid == old.st_uid && !r.options().owner_refused;
    bool group = now.st_gid == old.st_gid;
    if (!owner && !r.options().owner_refused && ::fchown(fd, old.st_uid, old.st_gid) == 0)
        owner = group = true;
    if (!group && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0) group = true;
    mode_t mode = old.st_mode & 07777;
    if (!owner) mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
    if (!group) mode &= ~static_cast<mode_t>(S_ISGID);
    if (::fchmod(fd, mode) != 0) {
        r.fail(errno);
        return false;
    }
    return keep_extended_attributes(fd, t.path, r);
}

// Writes the new file, gives it the old one's attributes and flushes it;
// false with the reason set when a step fails or is interrupted.
bool fill_new_file(int fd, const std::vector<std::uint8_t>& bytes, const Target& t, Replacement& r) {
    if (!r.begin(ReplaceStep::kWrite)) return false;
    if (!write_all(fd, bytes.data(), bytes.size(), r.write_limit())) {
        r.fail(errno);
        return false;
    }
    if (t.exists && !keep_attributes(fd, t, r)) return false;
    if (!r.begin(ReplaceStep::kFlush)) return false;
    if (::fsync(fd) != 0) {
        r.fail(errno);
        return false;
    }
    return true;
}

// A device or a pipe: no file to keep, so written straight into.
std::string write_in_place(const Target& t, const std::vector<std::uint8_t>& bytes) {
    Descriptor f(::open(t.path.c_str(), O_WRONLY | O_CLOEXEC));
    if (!f.valid() || !write_all(f.get(), bytes.data(), bytes.size(), std::nullopt))
        return std::strerror(errno);
    if (!f.close()) return std::strerror(errno);
    return {};
}

// The new file written, flushed and renamed over the target. `unnamed`: it
// is made without a name, given one just before the rename. Returns false
// (and no reason) when the system cannot name an unnamed file after all.
bool replace_with_new_file(const Target& t, const std::vector<std::uint8_t>& bytes, bool unnamed,
                           Replacement& r) {
    // Private while it is written when it takes an old file's place (its
    // mode comes after its owner); else as any new file here.
    const mode_t mode = t.exists ? 0600 : 0666;
    std::string name;
    Descriptor f(unnamed ? create_unnamed(t.folder, mode) : create_named(t.folder, mode, name));
    if (!f.valid()) {
        if (unnamed) return false;
        r.fail(errno);
        return true;
    }
    const bool ready = fill_new_file(f.get(), bytes, t, r);
    if (ready && r.begin(ReplaceStep::kRename)) {
        if (unnamed && !name_unnamed(f.get(), t.folder, name)) return false;
        if (!f.close() || ::rename(name.c_str(), t.path.c_str()) != 0) r.fail(errno);
    }
    if (!r.reason.empty() && !name.empty()) ::unlink(name.c_str());
    return true;
}

std::string replace(const std::string& path, const std::vector<std::uint8_t>& bytes, LinkRule links,
                    bool must_exist, const ReplaceOptions& options) {
    auto found = find_target(path, links, must_exist);
    if (auto* refused = std::get_if<std::string>(&found)) return *refused;
    const Target& t = std::get<Target>(found);
    if (t.in_place) return write_in_place(t, bytes);

    const InterruptHold hold;
    Replacement r(options, hold);
    if (!r.begin(ReplaceStep::kCreate)) return r.reason;
    if (!replace_with_new_file(t, bytes, true, r) && r.reason.empty())
        replace_with_new_file(t, bytes, false, r);
    if (!r.reason.empty()) return r.reason;
    // Make the rename itself durable.
    const Descriptor folder(
        ::open(t.folder.empty() ? "." : t.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid()) ::fsync(folder.get());
    return {};
}

}  // namespace

std::string replace_file_atomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                                    const ReplaceOptions& options) {
    return replace(path, bytes, LinkRule::kFollow, true, options);
}

std::string write_file_atomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                                  LinkRule links, const ReplaceOptions& options) {
    return replace(path, bytes, links, false, options);
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
        // its own, never shared with a child process. The open does not wait
        // for a named pipe's writer (the caller refuses what is no regular
        // file, but the name may change in between).
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
