#include "app/runner/run_preconditions.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velk::runner {
namespace {

bool isDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool ensureDirectory(const std::string& path) {
    if (!path.empty() && isDirectory(path)) return true;
    const size_t first = path.find('/');
    if (first == std::string::npos) return false;
    // Every level after the first separator, then the whole path.
    for (size_t at = path.find('/', first + 1);; at = path.find('/', at + 1)) {
        const std::string level = path.substr(0, at);
        if (!level.empty() && !isDirectory(level) && mkdir(level.c_str(), 0777) != 0 &&
            errno != EEXIST)
            return false;
        if (at == std::string::npos) break;
    }
    return isDirectory(path);
}

std::string cannotCreateDirectoryMessage(const std::string& path) {
    return "Cannot create directory " + path + ".";
}

bool timingsTooLarge(int64_t amount, uint64_t availableMemory) {
    return amount >= (int64_t(1) << 32) || amount < 0 || uint64_t(amount) >= availableMemory;
}

uint64_t availablePhysicalMemory() {
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long size = sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? uint64_t(pages) * uint64_t(size) : 0;
}

}  // namespace velk::runner
