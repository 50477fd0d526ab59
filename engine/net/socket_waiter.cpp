#include "net/socket_waiter.h"

#include <algorithm>

#include "loop/task_wait.h"
#include "net/plain_socket_transport.h"
#include "platform/clock.h"

namespace velk::net {

bool SocketWaiter::choose(int fd) {
    m_fd = fd;
    m_loop = loop::taskLoop();
    if (m_loop != nullptr) {
        // Left non-blocking, as it came: no system call on a task's connect.
        m_mode = Mode::kLoop;
        return true;
    }
    if (!setSocketBlocking(fd, true)) return false;
    m_mode = setSliceTimeouts(fd, kAbortCheckMillis) ? Mode::kSlices : Mode::kPoll;
    // A socket half given its time-outs is put back to none.
    if (m_mode == Mode::kPoll) setSliceTimeouts(fd, 0);
    return true;
}

StatusCode SocketWaiter::ready(Readiness what, int64_t deadlineMillis,
                               const AbortWatch* abort) const {
    return awaitSocket(m_loop, m_fd, what, deadlineMillis, abort);
}

StatusCode SocketWaiter::beforeRetry(Readiness what, int64_t deadlineMillis,
                                     const AbortWatch* abort) const {
    switch (m_mode) {
        case Mode::kLoop:
            return waitOnLoop(*m_loop, m_fd, what, deadlineMillis, abort, false);
        case Mode::kSlices:
            return StatusCode::kOk;
        case Mode::kPoll:
            break;
    }
    const int64_t slice = platform::tickMillis() + kAbortCheckMillis;
    // The caller's next call tells whether a slice that ended was the whole wait.
    const StatusCode waited =
        awaitSocket(nullptr, m_fd, what, std::min(slice, deadlineMillis), abort);
    return waited == StatusCode::kTimeout ? StatusCode::kOk : waited;
}

}  // namespace velk::net
