#include "platform/resource_limits.h"

#include <sys/resource.h>

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

}  // namespace velk::platform
