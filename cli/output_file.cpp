#include "cli/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "app/base/file_io.h"

namespace velk::cli {
namespace {

Status ioError(std::string message) {
    return {StatusCode::kIo, std::move(message)};
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        bytes.remove_prefix(size_t(n));
    }
    return true;
}

// A stream that exists already: written where it is, at its end (a file behind
// /dev/stdout keeps what was written to it before).
Status writeInPlace(const std::string& path, std::string_view content) {
    // Non-blocking, so that a FIFO nobody reads is refused (ENXIO) instead of a hang.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return ioError(
            path + ": " +
            (errno == ENXIO ? std::string("nothing reads from it") : std::strerror(errno)));
    const int flags = ::fcntl(fd, F_GETFL);
    bool ok = flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 && writeAll(fd, content);
    int err = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) ok = false, err = errno;
    if (!ok) return ioError(path + ": " + std::strerror(err));
    return Status::ok();
}

// Follows the symbolic links of path: the file they end at, and whether one of
// them is a descriptor of this process (/dev/stdout is /proc/self/fd/1), which
// is written in place whatever it is.  False when the links go round in circles.
bool resolveLinks(std::string path, std::string& target, bool& descriptor) {
    descriptor = false;
    for (int hop = 0; hop < 40; ++hop) {
        if (path.starts_with("/proc/") || path.starts_with("/dev/fd/")) descriptor = true;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            target = path;
            return true;
        }
        char link[4096];
        const ssize_t n = ::readlink(path.c_str(), link, sizeof link - 1);
        if (n <= 0) return false;
        const std::string next(link, size_t(n));
        const size_t slash = path.find_last_of('/');
        path = next.starts_with("/") || slash == std::string::npos
                   ? next
                   : path.substr(0, slash + 1) + next;
    }
    return false;
}

}  // namespace

Status writeOutputFile(const std::string& path, std::string_view content) {
    if (path == "-") {
        std::fflush(stdout);
        if (writeAll(STDOUT_FILENO, content)) return Status::ok();
        return ioError("standard output: " + std::string(std::strerror(errno)));
    }
    std::string target;
    bool descriptor = false;
    if (!resolveLinks(path, target, descriptor)) return ioError(path + ": " + std::strerror(ELOOP));
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && descriptor && !S_ISDIR(st.st_mode)) return writeInPlace(path, content);
    if (exists && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) return ioError(path + ": is a directory");
        if (S_ISBLK(st.st_mode)) return ioError(path + ": is a block device");
        return writeInPlace(path, content);
    }
    // A link to a regular file stays a link: the file it names is replaced.
    const int err = velk::base::replaceFileWhole(target, content);
    if (err != 0) return ioError(path + ": " + std::strerror(err));
    return Status::ok();
}

Status canWriteOutputFile(const std::string& path) {
    if (path == "-") return Status::ok();
    std::string target;
    bool descriptor = false;
    if (!resolveLinks(path, target, descriptor)) return ioError(path + ": " + std::strerror(ELOOP));
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return ioError(path + ": is a directory");
        if (S_ISBLK(st.st_mode)) return ioError(path + ": is a block device");
        // A stream is written in place; a regular file is replaced by a new one
        // made in its directory (below).
        if (!S_ISREG(st.st_mode) || descriptor) {
            if (::access(target.c_str(), W_OK) == 0) return Status::ok();
            return ioError(path + ": " + std::strerror(errno));
        }
    }
    const size_t slash = target.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : target.substr(0, slash);
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return ioError(path + ": no such directory " + dir);
    if (::access(dir.c_str(), W_OK | X_OK) != 0)
        return ioError(path + ": the directory " + dir + " cannot be written (" +
                       std::strerror(errno) + ")");
    return Status::ok();
}

StatusOr<std::string> readInputFile(const std::string& path, size_t maxBytes) {
    return velk::base::readRegularFile(path, maxBytes);
}

}  // namespace velk::cli
