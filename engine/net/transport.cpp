#include "net/transport.h"

#include "loop/task_wait.h"
#include "platform/clock.h"

namespace velk::net {

StatusCode finishHandshake(Transport& t, int timeoutMillis, const AbortWatch* abort) {
    const int64_t deadline = platform::tickMillis() + timeoutMillis;
    for (;;) {
        const int rc = t.handshake();
        if (rc != kWouldBlock) return rc == 0 ? StatusCode::kOk : StatusCode::kNetwork;
        if (platform::tickMillis() >= deadline) return StatusCode::kTimeout;
        const StatusCode waited = awaitSocket(loop::taskLoop(), t.fd(), t.wants(), deadline, abort);
        if (waited != StatusCode::kOk) return waited;
    }
}

}  // namespace velk::net
