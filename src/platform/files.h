// The file system as the tool uses it: whole files in, whole files out; the
// atomic replacement of the image (a new file beside it, flushed, then
// renamed over it), so that a run that is killed or fails to write leaves the
// image byte for byte as it was; and the hold that lets one run at a time
// work on an image.
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

bool file_exists(const std::string& path);

// True when both names lead to one existing file (links followed).
bool same_file(const std::string& a, const std::string& b);

// Creates or truncates `path` with `bytes`. Returns false on any failure.
bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes);

// The steps of replacing a file, in order.
enum class ReplaceStep : std::uint8_t { kCreate, kWrite, kFlush, kRename };

// Tests only: faults injected into the replacement.
struct ReplaceOptions {
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

// Replaces the file at `path` (a symbolic link is followed: the link stays
// and its target is replaced) with `bytes`, keeping its permission bits (on
// Windows its attributes; a read-only file is refused there).
// Returns an empty string on success, else the reason; on failure the file
// is untouched and no temporary file is left behind. An interrupt or a
// termination request that arrives meanwhile waits until the new file is
// either in place or removed, and then ends the process as it would have;
// one that arrives before the rename stops the replacement.
std::string replace_file_atomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                                    const ReplaceOptions& options = {});

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
