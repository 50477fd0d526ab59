#include "cli/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace velk::cli {

bool writeFileWhole(const std::string& path, const std::string& content, std::string& error) {
    std::string pattern = path + ".XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    // mkstemp makes the file private; a report is as readable as any other file.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    size_t done = 0;
    int err = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = errno ? errno : EIO;
            break;
        }
        done += size_t(n);
    }
    if (err == 0 && fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && std::rename(temp.data(), path.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(temp.data());
        error = path + ": " + std::strerror(err);
        return false;
    }
    return true;
}

}  // namespace velk::cli
