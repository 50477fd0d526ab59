#include "cli/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/base/file_io.h"

namespace velk::cli {
namespace {

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
bool writeInPlace(const std::string& path, std::string_view content, std::string& error) {
    // Non-blocking, so that a FIFO nobody reads is refused (ENXIO) instead of a hang.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = path + ": " +
                (errno == ENXIO ? std::string("nothing reads from it") : std::strerror(errno));
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    bool ok = flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 && writeAll(fd, content);
    int err = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) ok = false, err = errno;
    if (!ok) error = path + ": " + std::strerror(err);
    return ok;
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

bool writeOutputFile(const std::string& path, std::string_view content, std::string& error) {
    if (path == "-") {
        std::fflush(stdout);
        if (writeAll(STDOUT_FILENO, content)) return true;
        error = "standard output: " + std::string(std::strerror(errno));
        return false;
    }
    std::string target;
    bool descriptor = false;
    if (!resolveLinks(path, target, descriptor)) {
        error = path + ": " + std::strerror(ELOOP);
        return false;
    }
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && descriptor && !S_ISDIR(st.st_mode)) return writeInPlace(path, content, error);
    if (exists && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) {
            error = path + ": is a directory";
            return false;
        }
        if (S_ISBLK(st.st_mode)) {
            error = path + ": is a block device";
            return false;
        }
        return writeInPlace(path, content, error);
    }
    // A link to a regular file stays a link: the file it names is replaced.
    const int err = velk::base::replaceFileWhole(target, content);
    if (err != 0) error = path + ": " + std::strerror(err);
    return err == 0;
}

bool readInputFile(const std::string& path, size_t maxBytes, std::string& bytes,
                   std::string& error) {
    return velk::base::readRegularFile(path, maxBytes, bytes, error);
}

}  // namespace velk::cli
