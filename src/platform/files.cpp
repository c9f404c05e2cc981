#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kitra::platform {

std::optional<std::vector<std::uint8_t>> read_file(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return std::nullopt;
    // Read in one piece of the file's size (images are megabytes: growing a
    // buffer piece by piece would touch every page several times), then
    // whatever the file grew by meanwhile.
    std::vector<std::uint8_t> bytes;
    struct stat st {};
    if (::fstat(fileno(f), &st) == 0 && st.st_size > 0) bytes.resize(static_cast<std::size_t>(st.st_size));
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

bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool wrote = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    return wrote && closed;
}

namespace {

bool write_all(int fd, const std::uint8_t* data, std::size_t size, std::optional<std::size_t> fail_after) {
    std::size_t done = 0;
    while (done < size) {
        std::size_t want = size - done;
        if (fail_after) {
            if (done >= *fail_after) {
                errno = ENOSPC;
                return false;
            }
            want = std::min(want, *fail_after - done);
        }
        const ssize_t n = ::write(fd, data + done, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
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
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return std::strerror(errno);
    temp = name.data();

    const bool written = write_all(fd, bytes.data(), bytes.size(), options.fail_after_bytes) &&
                         ::fchmod(fd, st.st_mode & 07777) == 0 && ::fsync(fd) == 0;
    std::string reason = written ? std::string() : std::strerror(errno);
    if (::close(fd) != 0 && reason.empty()) reason = std::strerror(errno);
    if (reason.empty() && ::rename(temp.c_str(), target.c_str()) != 0) reason = std::strerror(errno);
    if (!reason.empty()) {
        ::unlink(temp.c_str());
        return reason;
    }
    // Make the rename itself durable.
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return {};
}

}  // namespace kitra::platform
