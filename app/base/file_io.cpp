#include "app/base/file_io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

namespace velk::base {
namespace {

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string failure(const std::string& path, int err) {
    return "Failed to save document.\n" + path + ": " + std::strerror(err) +
           "\nThe file on the disk was not changed.";
}

mode_t modeForNewFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Writing past the file size limit raises SIGXFSZ, whose default action ends
// the process; while it is ignored, write() fails with EFBIG instead.
class IgnoreFileSizeSignal {
public:
    IgnoreFileSizeSignal() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigemptyset(&ignore.sa_mask);
        m_installed = ::sigaction(SIGXFSZ, &ignore, &m_previous) == 0;
    }
    ~IgnoreFileSizeSignal() {
        if (m_installed) ::sigaction(SIGXFSZ, &m_previous, nullptr);
    }
    IgnoreFileSizeSignal(const IgnoreFileSizeSignal&) = delete;
    IgnoreFileSizeSignal& operator=(const IgnoreFileSizeSignal&) = delete;

private:
    struct sigaction m_previous {};
    bool m_installed = false;
};

bool writeAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

}  // namespace

int replaceFileWhole(const std::string& path, std::string_view bytes, FileAccess access) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return EISDIR;
    std::string temp = directoryOf(path) + "/.velk-save-XXXXXX";
    const mode_t mode = access == FileAccess::kOwnerOnly ? mode_t(0600) : modeForNewFile(path);
    IgnoreFileSizeSignal sizeLimit;
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return errno;
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    int err = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) ok = false, err = errno;
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false, err = errno;
    if (!ok) ::unlink(temp.c_str());
    return ok ? 0 : err;
}

Status writeFileReplacing(const std::string& path, std::string_view bytes, FileAccess access) {
    const int err = replaceFileWhole(path, bytes, access);
    if (err != 0) return {StatusCode::kIo, failure(path, err)};
    return Status::ok();
}

StatusOr<std::string> readRegularFile(const std::string& path, size_t maxBytes) {
    // Non-blocking, so that opening a FIFO cannot hang; only regular files are read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {StatusCode::kIo, path + ": " + std::strerror(errno)};
    struct stat st {};
    std::string out;
    std::string error;
    if (::fstat(fd, &st) != 0) {
        error = path + ": " + std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        error = path + ": not a regular file";
    } else if (uint64_t(st.st_size) > maxBytes) {
        error = path + ": larger than " + std::to_string(maxBytes >> 20) + " MiB";
    } else {
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 || out.size() + size_t(n > 0 ? n : 0) > maxBytes) {
                error = path + (n < 0 ? std::string(": ") + std::strerror(errno)
                                      : ": larger than " + std::to_string(maxBytes >> 20) + " MiB");
                break;
            }
            if (n == 0) break;
            out.append(chunk, size_t(n));
        }
    }
    ::close(fd);
    if (!error.empty()) return {StatusCode::kIo, std::move(error)};
    return out;
}

}  // namespace velk::base
