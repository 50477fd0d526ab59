#pragma once
// How a connection waits for its socket, chosen once when the socket opens (as
// wrk and h2load choose their I/O functions once per connection), so no call
// asks again where it runs:
//  - kLoop: opened by a task on an event loop.  The socket stays non-blocking
//    and every wait parks the task on that loop, with the loop's timers for
//    time-outs.
//  - kSlices: opened on a thread of its own.  The socket blocks, with receive
//    and send time-outs of kAbortCheckMillis: a receive or send waits by itself,
//    a slice at a time, and its caller looks at the time-out and the abort
//    between slices.
//  - kPoll: as kSlices, for a socket that refused those time-outs: waits are
//    poll() calls, a slice at a time.
// Waits end with kOk (ready), kTimeout, kAborted or kNetwork (errno says why).
//
// Belongs to one connection; not safe for concurrent use.  Used only from the
// task or thread that opened the socket.
#include <cstdint>

#include "base/status.h"
#include "net/readiness.h"

namespace velk::loop {
class EventLoop;
}

namespace velk::net {

class SocketWaiter {
public:
    enum class Mode : uint8_t { kLoop, kSlices, kPoll };

    // Chooses the mode for fd, opened by the calling task or thread and still
    // non-blocking as connecting leaves it, and makes the socket fit the mode (on a
    // thread: blocking, with slice time-outs when the system allows).  False,
    // errno set, when the system refuses to make it blocking.
    bool choose(int fd);
    // Back to no socket (the state before choose()).
    void reset() { *this = SocketWaiter(); }

    Mode mode() const { return m_mode; }
    bool onLoop() const { return m_mode == Mode::kLoop; }
    // Whether a receive or send waits itself (blocking in slices, or parking on
    // the loop after "would block"), so no readiness wait need come before it.
    bool callsWait() const { return m_mode != Mode::kPoll; }

    // Waits until the socket is ready for what, for sure (see waitOnLoop), until
    // the deadline (tick count, INT64_MAX for none) or abort.
    StatusCode ready(Readiness what, int64_t deadlineMillis, const AbortWatch* abort) const;
    // What a call that said "would block" needs before it is made again: on a
    // loop the task parks until the loop sees the readiness (the call itself then
    // tells whether it was stale); with slices nothing, the call waited a slice
    // itself; with poll one slice of poll().
    StatusCode beforeRetry(Readiness what, int64_t deadlineMillis, const AbortWatch* abort) const;

private:
    Mode m_mode = Mode::kSlices;
    loop::EventLoop* m_loop = nullptr;
    int m_fd = -1;
};

}  // namespace velk::net
