#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace velk::platform {

ReadStatus readWholeFile(const std::string& path, std::string& out, size_t cap) {
    out.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return ReadStatus::CannotOpen;
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return ReadStatus::CannotOpen;
    }
    // Only regular files: a FIFO or device could block or never end.
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return ReadStatus::CannotOpen;
    }
    if (size_t(st.st_size) > cap) {
        ::close(fd);
        return ReadStatus::TooLarge;
    }
    out.reserve(size_t(st.st_size));
    char chunk[1024];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return ReadStatus::ReadError;
        }
        if (n == 0) break;
        if (out.size() + size_t(n) > cap) {
            ::close(fd);
            return ReadStatus::TooLarge;
        }
        out.append(chunk, size_t(n));
    }
    ::close(fd);
    return ReadStatus::Ok;
}

bool isWritableDirectory(const std::string& path, std::string& why) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        why = errno == ENOENT ? "does not exist" : "cannot be reached";
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        why = "is not a directory";
        return false;
    }
    if (::access(path.c_str(), W_OK | X_OK) != 0) {
        why = "cannot be written";
        return false;
    }
    return true;
}

}  // namespace velk::platform
