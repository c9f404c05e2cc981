// The file system on Windows. Every name goes through the UTF-16 ("W")
// functions. The replacement is a flushed new file moved over the image
// (MoveFileExW); an interrupt (Ctrl-C, Ctrl-Break, a closed console) waits
// while it lasts. The hold is a named mutex per image (see lock_file).

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <variant>

#include "platform/files.h"
#include "platform/windows_api.h"

namespace kitra::platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A handle closed when it goes out of scope.
class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }
    bool close() {
        const bool closed = !valid() || CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }
    void reset(HANDLE handle) {
        close();
        handle_ = handle;
    }
    HANDLE release() {
        const HANDLE h = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return h;
    }

  private:
    HANDLE handle_;
};

HANDLE open_existing(const std::wstring& path, DWORD access, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    return CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
}

struct FileId {
    DWORD volume = 0;
    DWORD high = 0;
    DWORD low = 0;
    bool operator==(const FileId&) const = default;
};

std::optional<FileId> file_id(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(h, &info) == 0) return std::nullopt;
    return FileId{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

std::optional<FileId> file_id(const std::string& path) {
    const Handle f(open_existing(wide(path), FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS));
    if (!f.valid()) return std::nullopt;
    return file_id(f.get());
}

// Writes of at most 1 GiB at a time (WriteFile counts in 32 bits).
constexpr std::size_t kPiece = std::size_t{1} << 30;

bool write_all(HANDLE h, const std::uint8_t* data, std::size_t size, std::optional<std::size_t> limit) {
    std::size_t done = 0;
    while (done < size) {
        std::size_t want = std::min(size - done, kPiece);
        if (limit) {
            if (done >= *limit) {
                SetLastError(ERROR_DISK_FULL);
                return false;
            }
            want = std::min(want, *limit - done);
        }
        DWORD written = 0;
        if (WriteFile(h, data + done, static_cast<DWORD>(want), &written, nullptr) == 0) return false;
        if (written == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> read_file(const std::string& path) {
    const Handle f(open_existing(wide(path), GENERIC_READ));
    if (!f.valid()) return std::nullopt;
    // Read in one piece of the file's size, then whatever it grew by meanwhile.
    std::vector<std::uint8_t> bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(f.get(), &size) != 0 && size.QuadPart > 0)
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) bytes.resize(filled + 65536);
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min(bytes.size() - filled, kPiece));
        if (ReadFile(f.get(), bytes.data() + filled, want, &got, nullptr) == 0) return std::nullopt;
        if (got == 0) break;
        filled += got;
    }
    bytes.resize(filled);
    return bytes;
}

bool file_exists(const std::string& path) {
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string full_path(const std::string& path) {
    const std::wstring name = wide(path);
    const DWORD needed = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(name.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) return path;
    full.resize(written);
    return narrow(full);
}

namespace {

FileKind kind_of(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(h, &info) != 0 && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return FileKind::kFolder;
    switch (GetFileType(h)) {
        case FILE_TYPE_DISK:
            return FileKind::kRegular;
        case FILE_TYPE_CHAR:
            return FileKind::kCharacterDevice;
        case FILE_TYPE_PIPE:
            return FileKind::kPipe;
        default:
            return FileKind::kOther;
    }
}

}  // namespace

FileKind file_kind(const std::string& path) {
    const Handle f(open_existing(wide(path), FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS));
    if (!f.valid()) return FileKind::kMissing;
    return kind_of(f.get());
}

std::variant<std::vector<std::uint8_t>, ReadProblem> read_file_up_to(const std::string& path,
                                                                     std::uint64_t max_size,
                                                                     bool regular_only) {
    if (regular_only) {
        const FileKind kind = file_kind(path);
        if (kind == FileKind::kMissing) return ReadProblem::kCannotRead;
        if (kind != FileKind::kRegular) return ReadProblem::kNotRegular;
    }
    const Handle f(open_existing(wide(path), GENERIC_READ));
    if (!f.valid()) return ReadProblem::kCannotRead;
    const bool regular = kind_of(f.get()) == FileKind::kRegular;
    if (regular_only && !regular) return ReadProblem::kNotRegular;
    LARGE_INTEGER size{};
    if (regular && GetFileSizeEx(f.get(), &size) != 0 && static_cast<std::uint64_t>(size.QuadPart) > max_size)
        return ReadProblem::kTooLarge;

    // In one piece of the file's size, then whatever it grew by meanwhile;
    // anything else in pieces, up to one byte past the bound.
    std::vector<std::uint8_t> bytes;
    if (regular && size.QuadPart > 0) bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min(bytes.size() - filled, kPiece));
        if (ReadFile(f.get(), bytes.data() + filled, want, &got, nullptr) == 0)
            return ReadProblem::kCannotRead;
        if (got == 0) break;
        filled += got;
    }
    bytes.resize(filled);
    std::vector<std::uint8_t> piece(65536);
    for (;;) {
        DWORD got = 0;
        if (ReadFile(f.get(), piece.data(), static_cast<DWORD>(piece.size()), &got, nullptr) == 0) {
            if (GetLastError() == ERROR_BROKEN_PIPE) break;  // a pipe's writer has finished
            return ReadProblem::kCannotRead;
        }
        if (got == 0) break;
        if (bytes.size() + got > max_size) return ReadProblem::kTooLarge;
        bytes.insert(bytes.end(), piece.begin(), piece.begin() + got);
    }
    return bytes;
}

bool may_write(const std::string& path) {
    const std::wstring name = wide(path);
    {
        const Handle f(open_existing(name, FILE_READ_ATTRIBUTES));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!f.valid() || GetFileInformationByHandle(f.get(), &info) == 0) return false;
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
    }
    // An open for writing, as an open for update would try it (the file's
    // ACL). A file another program has open is not refused for that: the
    // replacement waits for it.
    const Handle f(open_existing(name, GENERIC_WRITE));
    if (f.valid()) return true;
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

std::uint64_t link_count(const std::string& path) {
    const Handle f(open_existing(wide(path), FILE_READ_ATTRIBUTES));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!f.valid() || GetFileInformationByHandle(f.get(), &info) == 0) return 0;
    return info.nNumberOfLinks;
}

bool same_file(const std::string& a, const std::string& b) {
    const std::optional<FileId> first = file_id(a);
    return first && first == file_id(b);
}

bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    Handle f(CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.valid()) return false;
    const bool wrote = write_all(f.get(), bytes.data(), bytes.size(), std::nullopt);
    return f.close() && wrote;
}

namespace {

// The console's requests to end the process: Ctrl-C, Ctrl-Break, a closed
// console window, a log-off, a shutdown. While the image is being replaced
// they are held: the replacement sees between its steps that one came,
// removes its new file and leaves the image as it was, and when the hold ends
// a Ctrl-C or Ctrl-Break ends the process as it would have. For the others
// the system ends the process once the handler returns, so the handler waits
// until the replacement has finished or cleaned up (the system allows a few
// seconds). A process that ignores Ctrl-C (started so by its parent) is
// never called for it, so it never stops the replacement.
constexpr DWORD kNoRequest = 0xFFFFFFFF;
std::atomic<DWORD> g_request{kNoRequest};

HANDLE settled_event() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

BOOL WINAPI hold_request(DWORD request) {
    DWORD none = kNoRequest;
    g_request.compare_exchange_strong(none, request);
    if (request == CTRL_C_EVENT || request == CTRL_BREAK_EVENT) return TRUE;
    WaitForSingleObject(settled_event(), 4000);
    return FALSE;
}

class InterruptHold {
  public:
    InterruptHold() {
        g_request = kNoRequest;
        ResetEvent(settled_event());
        SetConsoleCtrlHandler(hold_request, TRUE);
    }
    ~InterruptHold() {
        SetEvent(settled_event());
        SetConsoleCtrlHandler(hold_request, FALSE);
        const DWORD request = g_request;
        if (request == CTRL_C_EVENT || request == CTRL_BREAK_EVENT)
            ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    }
    InterruptHold(const InterruptHold&) = delete;
    InterruptHold& operator=(const InterruptHold&) = delete;

    bool interrupted() const { return g_request != kNoRequest; }
    // Tests: a Ctrl-C as if typed now.
    void request() const {
        DWORD none = kNoRequest;
        g_request.compare_exchange_strong(none, CTRL_C_EVENT);
    }
};

class Replacement {
  public:
    Replacement(const ReplaceOptions& options, const InterruptHold& hold) : options_(options), hold_(hold) {}

    // True when the step may go on: no injected fault and no interrupt.
    // Sets the reason otherwise.
    bool begin(ReplaceStep step) {
        if (options_.interrupt_at == step) hold_.request();
        if (hold_.interrupted()) {
            reason = "interrupted";
            return false;
        }
        if (options_.fail_at == step && step != ReplaceStep::kWrite) {
            fail(step == ReplaceStep::kCreate  ? ERROR_ACCESS_DENIED
                 : step == ReplaceStep::kFlush ? ERROR_WRITE_FAULT
                                               : ERROR_SHARING_VIOLATION);
            return false;
        }
        return true;
    }
    void fail(DWORD error) { reason = system_message(error); }

    std::optional<std::size_t> write_limit() const { return options_.write_limit(); }

    std::string reason;

  private:
    const ReplaceOptions& options_;
    const InterruptHold& hold_;
};

// The name to replace: the target of a symbolic link, else the name as given,
// made absolute (the rename below wants a whole path).
std::optional<std::wstring> replacement_target(const std::string& path, DWORD& attributes, DWORD& error) {
    const std::wstring name = wide(path);
    const Handle f(open_existing(name, FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!f.valid() || GetFileInformationByHandle(f.get(), &info) == 0) {
        error = GetLastError();
        return std::nullopt;
    }
    attributes = info.dwFileAttributes;
    const DWORD own = GetFileAttributesW(name.c_str());
    if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        std::wstring final_name(MAX_PATH, L'\0');
        DWORD n =
            GetFinalPathNameByHandleW(f.get(), final_name.data(), static_cast<DWORD>(final_name.size()), 0);
        if (n >= final_name.size()) {
            final_name.resize(n);
            n = GetFinalPathNameByHandleW(f.get(), final_name.data(), static_cast<DWORD>(final_name.size()),
                                          0);
        }
        if (n != 0 && n < final_name.size()) return final_name.substr(0, n);
    }
    const DWORD n = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (n == 0) return name;
    std::wstring full(n, L'\0');
    const DWORD got = GetFullPathNameW(name.c_str(), n, full.data(), nullptr);
    if (got == 0 || got >= n) return name;
    full.resize(got);
    return full;
}

// Another program may have the image open for a moment (a listing run
// reading it, a virus scanner): Windows refuses to replace a file while it
// is open, so the rename is tried again for a while.
bool in_use(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

bool move_over(const std::wstring& from, const std::wstring& to) {
    std::chrono::milliseconds pause{1};
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
            return true;
        const DWORD error = GetLastError();
        if (!in_use(error) || attempt == 40) {
            SetLastError(error);
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds{100});
    }
}

// The attributes the new file keeps from the old one (the archive bit and
// the like); a read-only file stays read-only and refuses the replacement.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Where the new file goes, and what is there now.
struct Target {
    std::wstring path;      // the whole name the new file takes
    bool exists = false;    // a file is there: the new one keeps its attributes
    bool in_place = false;  // a device or a pipe: written into as it is
    DWORD attributes = 0;   // of the file there
};

std::wstring full_path(const std::wstring& name) {
    const DWORD n = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (n == 0) return name;
    std::wstring full(n, L'\0');
    const DWORD got = GetFullPathNameW(name.c_str(), n, full.data(), nullptr);
    if (got == 0 || got >= n) return name;
    full.resize(got);
    return full;
}

std::variant<Target, std::string> find_target(const std::string& path, LinkRule links, bool must_exist) {
    const std::wstring name = wide(path);
    Target t;
    const DWORD own = GetFileAttributesW(name.c_str());
    if (own == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (must_exist || error != ERROR_FILE_NOT_FOUND) return system_message(error);
        t.path = full_path(name);
        return t;
    }
    if ((own & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && links == LinkRule::kReplace) {
        t.path = full_path(name);  // the link itself is replaced
        return t;
    }
    DWORD error = 0;
    const std::optional<std::wstring> found = replacement_target(path, t.attributes, error);
    if (!found) return system_message(error);
    t.path = *found;
    const FileKind kind = file_kind(path);
    if (kind == FileKind::kFolder) return system_message(ERROR_ACCESS_DENIED);
    if (kind != FileKind::kRegular) {
        if (must_exist || links == LinkRule::kReplace) return std::string("not a regular file");
        t.in_place = true;
        return t;
    }
    // A read-only file stays read-only and is not replaced.
    if ((t.attributes & FILE_ATTRIBUTE_READONLY) != 0) return system_message(ERROR_ACCESS_DENIED);
    t.exists = true;
    return t;
}

// Writes, keeps the attributes and flushes the new file; false with the
// reason set when a step fails or is interrupted.
bool fill_new_file(HANDLE h, const std::vector<std::uint8_t>& bytes, const Target& t, Replacement& r) {
    if (!r.begin(ReplaceStep::kWrite)) return false;
    if (!write_all(h, bytes.data(), bytes.size(), r.write_limit())) {
        r.fail(GetLastError());
        return false;
    }
    if (t.exists) {
        FILE_BASIC_INFO basic{};
        basic.FileAttributes =
            (t.attributes & kKeptAttributes) != 0 ? t.attributes & kKeptAttributes : FILE_ATTRIBUTE_NORMAL;
        (void)SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic);
    }
    if (!r.begin(ReplaceStep::kFlush)) return false;
    if (FlushFileBuffers(h) == 0) {
        r.fail(GetLastError());
        return false;
    }
    return true;
}

std::string replace(const std::string& path, const std::vector<std::uint8_t>& bytes, LinkRule links,
                    bool must_exist, const ReplaceOptions& options) {
    auto located = find_target(path, links, must_exist);
    if (const auto* refused = std::get_if<std::string>(&located)) return *refused;
    const Target& t = std::get<Target>(located);
    if (t.in_place) return write_file(path, bytes) ? std::string{} : system_message(GetLastError());
    const std::size_t slash = t.path.find_last_of(L"\\/");
    const std::wstring dir = slash == std::wstring::npos ? std::wstring{} : t.path.substr(0, slash + 1);

    const InterruptHold hold;
    Replacement r(options, hold);
    if (!r.begin(ReplaceStep::kCreate)) return r.reason;
    std::wstring temp;
    Handle f(INVALID_HANDLE_VALUE);
    for (unsigned attempt = 0; attempt < 100 && !f.valid(); ++attempt) {
        wchar_t unique[32];
        swprintf(unique, 32, L".kitra-%08lx%04x", static_cast<unsigned long>(GetCurrentProcessId()),
                 static_cast<unsigned>((GetTickCount64() + attempt) & 0xFFFF));
        temp = dir + unique;
        f.reset(
            CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!f.valid() && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (!f.valid()) return system_message(GetLastError());

    bool ready = fill_new_file(f.get(), bytes, t, r);
    if (!f.close() && ready) {
        r.fail(GetLastError());
        ready = false;
    }
    if (ready && r.begin(ReplaceStep::kRename) && !move_over(temp, t.path)) r.fail(GetLastError());
    if (!ready || !r.reason.empty()) {
        DeleteFileW(temp.c_str());
        return r.reason;
    }
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

void fail_writes_past_size_limit() {}

namespace {

// The hold. A lock on the image file itself cannot be used on Windows: the
// commit replaces the image with MoveFileExW, which Windows refuses while
// any handle has the image open, and a hold on a file is a handle on it. So
// the hold is a named mutex, one per image: its name is made from the
// image's full path as the file system resolves it (links followed, letter
// case folded), so every run that names the same image by any path meets
// the same mutex, also after a commit has renamed a new file over the name.
// A mutex whose holder ended without letting go (killed, crashed) passes to
// the next waiter, as a lock on a file would. The mutex belongs to the
// thread that takes it, and a thread may take its own mutex again; runs in
// one process (the tests) are told apart by the set of names held here.
std::mutex g_held_mutex;
std::set<std::wstring> g_held;

struct Held {
    HANDLE mutex;
    std::wstring name;
};

// The mutex name of the image `path` names, or the error when it cannot be
// opened.
std::variant<std::wstring, DWORD> hold_name(const std::string& path) {
    const Handle f(open_existing(wide(path), FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS));
    if (!f.valid()) return GetLastError();
    std::wstring full(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(f.get(), full.data(), static_cast<DWORD>(full.size()), 0);
    if (n >= full.size()) {
        full.resize(n);
        n = GetFinalPathNameByHandleW(f.get(), full.data(), static_cast<DWORD>(full.size()), 0);
    }
    if (n == 0 || n >= full.size()) {
        full.resize(MAX_PATH);
        n = GetFullPathNameW(wide(path).c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0 || n >= full.size()) return GetLastError();
    }
    full.resize(n);
    CharUpperBuffW(full.data(), n);
    // Mutex names may not hold a backslash and are at most MAX_PATH long: a
    // 64-bit FNV-1a hash of the path names it.
    std::uint64_t hash = 0xCBF29CE484222325ULL;
    for (wchar_t c : full) {
        hash = (hash ^ (static_cast<std::uint64_t>(c) & 0xFF)) * 0x100000001B3ULL;
        hash = (hash ^ (static_cast<std::uint64_t>(c) >> 8)) * 0x100000001B3ULL;
    }
    wchar_t name[64];
    swprintf(name, 64, L"Global\\kitra-image-%016llx", static_cast<unsigned long long>(hash));
    return std::wstring(name);
}

}  // namespace

FileLock::FileLock(FileLock&& other) noexcept : handle_(other.handle_) {
    other.handle_ = -1;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        FileLock gone(std::move(*this));
        handle_ = other.handle_;
        other.handle_ = -1;
    }
    return *this;
}

FileLock::~FileLock() {
    if (!held()) return;
    auto* hold = reinterpret_cast<Held*>(handle_);
    ReleaseMutex(hold->mutex);
    CloseHandle(hold->mutex);
    {
        const std::lock_guard<std::mutex> guard(g_held_mutex);
        g_held.erase(hold->name);
    }
    delete hold;
}

std::variant<FileLock, LockRefusal> lock_file(const std::string& path, const LockWait& wait) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const auto named = hold_name(path);
    if (const DWORD* error = std::get_if<DWORD>(&named))
        return LockRefusal{LockProblem::kCannotOpen, system_message(*error)};
    const std::wstring& name = std::get<std::wstring>(named);
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (mutex == nullptr) return LockRefusal{LockProblem::kFailed, system_message(GetLastError())};
    bool noticed = false;
    // Short pauses at first: the other run usually ends within milliseconds.
    std::chrono::milliseconds pause{1};
    for (;;) {
        {
            const std::lock_guard<std::mutex> guard(g_held_mutex);
            if (g_held.count(name) == 0) {
                const DWORD got = WaitForSingleObject(mutex, 0);
                if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED) {
                    g_held.insert(name);
                    return FileLock(reinterpret_cast<std::intptr_t>(new Held{mutex, name}));
                }
                if (got == WAIT_FAILED) {
                    const DWORD error = GetLastError();
                    CloseHandle(mutex);
                    return LockRefusal{LockProblem::kFailed, system_message(error)};
                }
            }
        }
        const auto waited = Clock::now() - start;
        if (waited >= wait.give_up_after) {
            CloseHandle(mutex);
            return LockRefusal{LockProblem::kTimedOut, {}};
        }
        if (!noticed && waited >= wait.notice_after) {
            noticed = true;
            if (wait.on_notice) wait.on_notice();
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds{50});
    }
}

}  // namespace kitra::platform
