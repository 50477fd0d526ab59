#include "net/readiness.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <climits>

#include "loop/task_wait.h"
#include "platform/clock.h"

namespace velk::net {

StatusCode waitOnLoop(loop::EventLoop& loop, int fd, Readiness what, int64_t deadlineMillis,
                      const AbortWatch* abort, bool confirm) {
    // Tick counts and the loop's clock both count from the same monotonic origin.
    const loop::Deadline deadline = deadlineMillis == INT64_MAX
                                        ? loop::kNoDeadline
                                        : loop::Deadline(std::chrono::milliseconds(deadlineMillis));
    pollfd p{fd, short(what == Readiness::kRead ? POLLIN : POLLOUT), 0};
    for (;;) {
        if (isAborted(abort)) return StatusCode::kAborted;
        if (confirm) {
            const int rc = ::poll(&p, 1, 0);
            if (rc > 0) return (p.revents & POLLNVAL) ? StatusCode::kNetwork : StatusCode::kOk;
            if (rc < 0 && errno != EINTR) return StatusCode::kNetwork;
        }
        const loop::WaitResult waited = what == Readiness::kRead ? loop.waitReadable(fd, deadline)
                                                                 : loop.waitWritable(fd, deadline);
        if (waited == loop::WaitResult::TimedOut) return StatusCode::kTimeout;
        if (waited == loop::WaitResult::Stopped) return StatusCode::kAborted;
        if (!confirm) return StatusCode::kOk;
    }
}

StatusCode awaitSocket(loop::EventLoop* loop, int fd, Readiness what, int64_t deadlineMillis,
                       const AbortWatch* abort) {
    if (fd < 0) return StatusCode::kNetwork;
    if (loop != nullptr) return waitOnLoop(*loop, fd, what, deadlineMillis, abort, true);
    pollfd p{fd, short(what == Readiness::kRead ? POLLIN : POLLOUT), 0};
    for (;;) {
        if (isAborted(abort)) return StatusCode::kAborted;
        int64_t left = deadlineMillis - platform::tickMillis();
        if (left < 0) left = 0;
        const bool sliced = (abort != nullptr && left > kAbortCheckMillis) || left > INT_MAX;
        const int rc = ::poll(&p, 1, sliced ? kAbortCheckMillis : int(left));
        if (rc > 0) return (p.revents & POLLNVAL) ? StatusCode::kNetwork : StatusCode::kOk;
        if (rc == 0 && !sliced) return StatusCode::kTimeout;
        if (rc < 0 && errno != EINTR) return StatusCode::kNetwork;
    }
}

int waitForSocket(int fd, Readiness what, int timeoutMillis, const AbortWatch* abort) {
    if (timeoutMillis < 0) timeoutMillis = 0;
    const int64_t deadline = platform::tickMillis() + timeoutMillis;
    switch (awaitSocket(loop::taskLoop(), fd, what, deadline, abort)) {
        case StatusCode::kOk:
            return 1;
        case StatusCode::kTimeout:
            return 0;
        case StatusCode::kAborted:
            errno = ECANCELED;
            return -1;
        default:
            return -1;
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
