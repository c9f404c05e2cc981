// The file system as the tool uses it: whole files in (up to a bound), whole
// files out; the atomic replacement of the image and of extracted files (a
// new file beside it, flushed, then renamed over it), so that a run that is
// killed or fails to write leaves the file byte for byte as it was, and the
// new file keeps what the old one had besides its bytes; and the hold that
// lets one run at a time work on an image.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace kitra::platform {

// The whole file, or std::nullopt when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> read_file(const std::string& path);

// What a name leads to (a symbolic link followed).
enum class FileKind : std::uint8_t {
    kMissing,  // nothing, or nothing this process may look at
    kRegular,
    kFolder,
    kPipe,  // a named pipe (FIFO)
    kCharacterDevice,
    kBlockDevice,
    kSocket,
    kOther,
};
FileKind file_kind(const std::string& path);

enum class ReadProblem : std::uint8_t {
    kCannotRead,  // it cannot be opened, or reading it failed
    kNotRegular,  // a regular file was asked for (see file_kind)
    kTooLarge,    // it holds more than the bound
};

// The whole file when it holds at most `max_size` bytes. A regular file
// larger than that is refused before it is read; anything else (a pipe, a
// device) is read up to one byte past the bound, so an endless input ends.
// With `regular_only` anything but a regular file is refused without
// waiting for it (a named pipe without a writer, a device).
std::variant<std::vector<std::uint8_t>, ReadProblem> read_file_up_to(const std::string& path,
                                                                     std::uint64_t max_size,
                                                                     bool regular_only = false);

bool file_exists(const std::string& path);

// `path` as a full path: a relative one taken from the current directory
// (no link is followed); `path` itself when that cannot be told.
std::string full_path(const std::string& path);

// Whether this process may write the existing file `path` (a symbolic link
// followed) as an open for update would: its permission bits and ACL, a
// read-only attribute, a read-only file system, an immutable file. A file
// the user may not write is not replaced, even where its folder would allow
// the rename.
bool may_write(const std::string& path);

// The number of names (hard links) of the file `path` (a symbolic link
// followed); 0 when it cannot be told.
std::uint64_t link_count(const std::string& path);

// True when both names lead to one existing file (links followed).
bool same_file(const std::string& a, const std::string& b);

// Creates or truncates `path` with `bytes`. Returns false on any failure.
bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes);

// The steps of replacing a file, in order.
enum class ReplaceStep : std::uint8_t { kCreate, kWrite, kFlush, kRename };

// Tests only: faults injected into the replacement.
struct ReplaceOptions {
    // The file system refuses the new file the old one's owner, as it does
    // for a user who does not own the file (POSIX).
    bool owner_refused = false;
    // This step fails as it would on a full, failing or locked disk (the
    // write after `fail_after_bytes` bytes, or at once).
    std::optional<ReplaceStep> fail_at;
    // The write fails after this many bytes, as a full disk would.
    std::optional<std::size_t> fail_after_bytes;
    // An interrupt (a termination request) arrives as this step begins.
    std::optional<ReplaceStep> interrupt_at;

    // The bytes a write may put before an injected full disk stops it.
    std::optional<std::size_t> write_limit() const {
        if (fail_after_bytes) return fail_after_bytes;
        if (fail_at == ReplaceStep::kWrite) return 0;
        return std::nullopt;
    }
};

// Replaces the regular file at `path` (a symbolic link is followed: the
// link stays and its target is replaced) with `bytes`. The new file is
// written beside it (on Linux as an unnamed file, given a name only just
// before the rename, where the file system allows: a run killed meanwhile
// leaves nothing behind), flushed and renamed over it. On POSIX systems it
// keeps the old file's owner and group (set before the mode bits; where the
// owner cannot be kept, the set-user-ID and set-group-ID bits are dropped,
// and the set-group-ID bit where the group cannot), its mode bits, and its
// extended attributes and ACLs; on Windows its attributes (a read-only file
// is refused). Other hard links of the old file keep the old contents.
// Returns an empty string on success, else the reason; on failure the file
// is untouched and no temporary file is left behind. An interrupt or a
// termination request that arrives meanwhile waits until the new file is
// either in place or removed, and then ends the process as it would have;
// one that arrives before the rename stops the replacement.
std::string replace_file_atomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                                    const ReplaceOptions& options = {});

// How a name that is a symbolic link is taken by write_file_atomically.
enum class LinkRule : std::uint8_t {
    kFollow,   // the link stays and the file it leads to is written (a name the user gave)
    kReplace,  // the link itself is replaced by the new file (a name the user did not give)
};

// Writes `bytes` as the file `path`, replacing one that is there the way
// replace_file_atomically replaces the image, or making a new one (with the
// permissions any new file gets there). A name that leads to a device or a
// pipe (followed links only) is written into as it is: it holds no file to
// keep. A name that leads to a folder, or (kReplace) to anything but a
// regular file or a link, is refused; so is a link to nothing (kFollow).
// Returns an empty string on success, else the reason; on failure an old
// file is untouched and no temporary file is left behind.
std::string write_file_atomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                                  LinkRule links, const ReplaceOptions& options = {});

// How a run writes the files it leaves besides its image (extracts, the
// prepared built-in inputs): in the form of write_file_atomically, "" or the
// reason. A run writes them through the one writer it is given, so that a
// dry run can put one in its place that only notes what would be written.
using FileWriter = std::function<std::string(const std::string& path, const std::vector<std::uint8_t>& bytes,
                                             LinkRule links)>;
// How a run reads the files it is given (component files, built-in
// inputs): in the form of read_file_up_to. A dry run reads what it would
// have written before in their place, as the real run would find it.
using FileReader = std::function<std::variant<std::vector<std::uint8_t>, ReadProblem>(
    const std::string& path, std::uint64_t max_size)>;

// The writer and reader of a real run: write_file_atomically and read_file_up_to.
FileWriter atomic_file_writer();
FileReader plain_file_reader();

// A write past the process's file-size limit fails with a reason ("File too
// large") like a full disk, instead of ending the process. Called once at
// start-up. (Windows has no such limit.)
void fail_writes_past_size_limit();

// An exclusive hold on one file, released when it is destroyed or when the
// process ends, however it ends. Other processes that ask for a hold on the
// same file wait; reading the file is not held up.
class FileLock {
  public:
    FileLock() = default;
    explicit FileLock(std::intptr_t handle) : handle_(handle) {}
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();
    bool held() const { return handle_ != -1; }

  private:
    std::intptr_t handle_ = -1;
};

struct LockWait {
    std::chrono::milliseconds notice_after{1000};  // then `on_notice` is called, once
    std::chrono::milliseconds give_up_after{60000};
    std::function<void()> on_notice;
};

enum class LockProblem : std::uint8_t {
    kCannotOpen,  // the file cannot be opened
    kTimedOut,    // another holder kept it past give_up_after
    kFailed,      // the file system refused a hold (the reason says why)
};

struct LockRefusal {
    LockProblem problem = LockProblem::kFailed;
    std::string reason;
};

// Takes the hold on the file `path` names (a symbolic link is followed),
// waiting while another process holds it. A file replaced by a rename while
// this waits (the other holder's commit) is not the one `path` names any
// more; the wait goes on for the file that now has the name, so the hold
// returned is always on the current file.
std::variant<FileLock, LockRefusal> lock_file(const std::string& path, const LockWait& wait);

}  // namespace kitra::platform
