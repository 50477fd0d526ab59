#include "net/readiness.h"

#include <poll.h>

#include <cerrno>
#include <climits>

#include "platform/clock.h"

namespace velk::net {

int waitForSocket(int fd, Readiness what, int timeoutMillis, const AbortWatch* abort) {
    if (fd < 0) return -1;
    if (timeoutMillis < 0) timeoutMillis = 0;
    const int64_t deadline = platform::tickMillis() + timeoutMillis;
    pollfd p{fd, short(what == Readiness::kRead ? POLLIN : POLLOUT), 0};
    for (;;) {
        if (isAborted(abort)) {
            errno = ECANCELED;
            return -1;
        }
        int64_t left = deadline - platform::tickMillis();
        if (left < 0) left = 0;
        const bool sliced = abort != nullptr && left > kAbortCheckMillis;
        int rc = ::poll(&p, 1, sliced ? kAbortCheckMillis : int(left));
        if (rc > 0) return (p.revents & POLLNVAL) ? -1 : rc;
        if (rc == 0 && !sliced) return 0;
        if (rc < 0 && errno != EINTR) return -1;
    }
}

int WaitLimit::stopReason() const {
    if (isAborted(abort)) return ECANCELED;
    if (platform::tickMillis() >= deadlineMillis) return ETIMEDOUT;
    return 0;
}

int secondsToPollMillis(int seconds) {
    if (seconds <= 0) return 0;
    if (seconds > INT_MAX / 1000) return INT_MAX;
    return seconds * 1000;
}

}  // namespace velk::net
