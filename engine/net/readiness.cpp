#include "net/readiness.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <climits>

#include "loop/task_wait.h"
#include "platform/clock.h"

namespace velk::net {

namespace {

// The loop watches edge-triggered, so its "ready" may be left over from before
// the caller's last read or write: a poll without waiting tells for sure.
int waitOnLoop(loop::EventLoop& loop, int fd, Readiness what, int timeoutMillis,
               const AbortWatch* abort) {
    const loop::Deadline deadline = loop::Clock::now() + std::chrono::milliseconds(timeoutMillis);
    pollfd p{fd, short(what == Readiness::kRead ? POLLIN : POLLOUT), 0};
    for (;;) {
        if (isAborted(abort)) {
            errno = ECANCELED;
            return -1;
        }
        int rc = ::poll(&p, 1, 0);
        if (rc > 0) return (p.revents & POLLNVAL) ? -1 : rc;
        if (rc < 0 && errno != EINTR) return -1;
        const loop::WaitResult waited =
            what == Readiness::kRead ? loop.waitReadable(fd, deadline) : loop.waitWritable(fd, deadline);
        if (waited == loop::WaitResult::TimedOut) return 0;
        if (waited == loop::WaitResult::Stopped) {
            errno = ECANCELED;
            return -1;
        }
    }
}

}  // namespace

int waitForSocket(int fd, Readiness what, int timeoutMillis, const AbortWatch* abort) {
    if (fd < 0) return -1;
    if (timeoutMillis < 0) timeoutMillis = 0;
    if (loop::EventLoop* loop = loop::taskLoop()) return waitOnLoop(*loop, fd, what, timeoutMillis, abort);
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
