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

// A stream that exists already: written where it is, as a shell's ">" would.
bool writeInPlace(const std::string& path, std::string_view content, std::string& error) {
    // Non-blocking, so that a FIFO nobody reads is refused (ENXIO) instead of a hang.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
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

}  // namespace

bool writeOutputFile(const std::string& path, std::string_view content, std::string& error) {
    if (path == "-") {
        std::fflush(stdout);
        if (writeAll(STDOUT_FILENO, content)) return true;
        error = "standard output: " + std::string(std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
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
    const int err = velk::model::replaceFileWhole(path, content);
    if (err != 0) error = path + ": " + std::strerror(err);
    return err == 0;
}

bool readInputFile(const std::string& path, size_t maxBytes, std::string& bytes,
                   std::string& error) {
    return velk::model::readRegularFile(path, maxBytes, bytes, error);
}

}  // namespace velk::cli
