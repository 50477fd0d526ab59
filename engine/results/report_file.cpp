#include "results/report_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace velk {
namespace {

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

}  // namespace

void ReportFile::write(void* self, const char* text) {
    static_cast<ReportFile*>(self)->m_text.append(text);
}

ReportFile::Outcome ReportFile::close() {
    return m_append ? appendToTarget() : replaceTarget();
}

ReportFile::Outcome ReportFile::appendToTarget() {
    const int fd = ::open(
        m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return Outcome::kCannotOpen;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Outcome::kCannotOpen;
    }
    const bool written = writeAll(fd, m_text);
    return ::close(fd) == 0 && written ? Outcome::kWritten : Outcome::kCannotWrite;
}

ReportFile::Outcome ReportFile::replaceTarget() {
    // A name of our own beside the target: the rename stays on one file system.
    static std::atomic<unsigned> serial{0};
    const std::string temp =
        m_path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(serial.fetch_add(1));
    // A directory or device at the target cannot take a report.
    struct stat st {};
    if (::lstat(m_path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return Outcome::kCannotOpen;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return Outcome::kCannotOpen;
    bool ok = writeAll(fd, m_text) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), m_path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok ? Outcome::kWritten : Outcome::kCannotWrite;
}

bool isSafeReportName(const std::string& name) {
    if (name.empty() || name[0] == '/' || name[0] == '\\') return false;
    size_t start = 0;
    for (;;) {
        const size_t cut = name.find_first_of("/\\", start);
        if (name.compare(start, cut == std::string::npos ? std::string::npos : cut - start, "..") ==
            0)
            return false;
        if (cut == std::string::npos) return true;
        start = cut + 1;
    }
}

}  // namespace velk
