#include "platform/resource_limits.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace velk::platform {

int64_t raiseOpenFileLimit(int64_t needed) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
    if (int64_t(limit.rlim_cur) >= needed || limit.rlim_cur == RLIM_INFINITY)
        return int64_t(limit.rlim_cur);
    rlim_t wanted = limit.rlim_max == RLIM_INFINITY || int64_t(limit.rlim_max) > needed
                        ? rlim_t(needed)
                        : limit.rlim_max;
    rlimit raised{wanted, limit.rlim_max};
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) return int64_t(wanted);
    return int64_t(limit.rlim_cur);
}

int64_t availableMemoryBytes() {
    if (std::FILE* f = std::fopen("/proc/meminfo", "r")) {
        char line[256];
        long long kib = -1;
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "MemAvailable: %lld kB", &kib) == 1) break;
        std::fclose(f);
        if (kib >= 0) return int64_t(kib) * 1024;
    }
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long size = sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? int64_t(pages) * size : -1;
}

}  // namespace velk::platform
