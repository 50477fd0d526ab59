#include "safe_file_writer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velk::model {
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

bool writeFileReplacing(const std::string& path, std::string_view bytes, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = failure(path, EISDIR);
        return false;
    }
    std::string temp = directoryOf(path) + "/.velk-save-XXXXXX";
    const mode_t mode = modeForNewFile(path);
    IgnoreFileSizeSignal sizeLimit;
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = failure(path, errno);
        return false;
    }
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    int err = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) ok = false, err = errno;
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false, err = errno;
    if (!ok) {
        ::unlink(temp.c_str());
        error = failure(path, err);
        return false;
    }
    return true;
}

}  // namespace velk::model
