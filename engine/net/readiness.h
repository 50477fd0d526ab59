#pragma once
// Readiness waits on one descriptor with poll(), which, unlike select, works for any
// descriptor number; called from a task on an event loop, the wait parks the task
// on its loop instead of blocking the thread.  Safe from any thread.

#include <cerrno>
#include <cstdint>

#include "base/abort_sleep.h"
#include "base/status.h"
#include "net/abort_watch.h"

namespace velk::loop {
class EventLoop;
}

namespace velk::net {

enum class Readiness { kRead, kWrite };

// Waits until fd is ready or timeoutMillis passes (negative counts as 0).  Returns a
// positive value when ready (an error or hang-up on the socket also counts as ready,
// so the following call reports it), 0 on time-out, -1 on failure.  Signals that
// interrupt the wait do not lengthen it.  With an abort flag the wait looks at it
// every kAbortCheckMillis and, once it is set, fails with errno ECANCELED.
int waitForSocket(int fd, Readiness what, int timeoutMillis, const AbortWatch* abort = nullptr);

// The one wait on an event loop, from a task of loop: parks the task until fd is
// ready for what, the deadline (a tick count, INT64_MAX for none) passes, or the
// run is aborted (abort, or the loop's cancelWaits()).  kOk, kTimeout, kAborted,
// or kNetwork when poll() fails (errno says why).  The loop watches edges, so its
// "ready" may be left over from before the caller's last read or write: with
// confirm a poll() without waiting tells for sure before each park and after it;
// without, the caller's next call (which says "would block" again) tells.
StatusCode waitOnLoop(loop::EventLoop& loop, int fd, Readiness what, int64_t deadlineMillis,
                      const AbortWatch* abort, bool confirm);

// Waits until fd is ready for what, for sure (see confirm above): on loop when
// one is given (from a task of it), else with poll(), looking at abort every
// kAbortCheckMillis.  The deadline as for waitOnLoop; results as waitOnLoop's.
StatusCode awaitSocket(loop::EventLoop* loop, int fd, Readiness what, int64_t deadlineMillis,
                       const AbortWatch* abort);

// Whether the run behind abort (may be null) is being aborted.
inline bool isAborted(const AbortWatch* abort) {
    return abort != nullptr && abort->aborted();
}

// How long a blocking call that came back empty after one slice of its socket's
// time-out may try again.
struct WaitLimit {
    int64_t deadlineMillis;   // tick count; INT64_MAX for none
    const AbortWatch* abort;  // may be null
    // ECANCELED once the run is aborted, ETIMEDOUT past the deadline, else 0.
    int stopReason() const;
};

// True for the errno of a receive or send that ended with its socket's time-out.
inline bool isSliceEnd(int err) {
    return err == EAGAIN || err == EWOULDBLOCK;
}

// Seconds as a poll() time-out in milliseconds, clamped to what poll accepts.
int secondsToPollMillis(int seconds);

}  // namespace velk::net
