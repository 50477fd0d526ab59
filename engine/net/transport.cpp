#include "net/transport.h"

#include "platform/clock.h"

namespace velk::net {

int finishHandshake(Transport& t, int timeoutMillis, const AbortWatch* abort) {
    const int64_t deadline = platform::tickMillis() + timeoutMillis;
    for (;;) {
        const int rc = t.handshake();
        if (rc != kWouldBlock) return rc == 0 ? 0 : -1;
        const int64_t left = deadline - platform::tickMillis();
        if (left <= 0 || waitForSocket(t.fd(), t.wants(), int(left), abort) <= 0) return -1;
    }
}

}  // namespace velk::net
