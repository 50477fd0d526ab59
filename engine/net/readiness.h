#pragma once
// Readiness waits on one descriptor with poll(), which, unlike select, works for any
// descriptor number; called from a task on an event loop, the wait parks the task
// on its loop instead of blocking the thread.  Safe from any thread.

#include <cerrno>
#include <cstdint>

#include "net/abort_watch.h"

namespace velk::net {

enum class Readiness { kRead, kWrite };

// Longest stretch a wait or blocking call runs without looking at the abort flag.
inline constexpr int kAbortCheckMillis = 250;

// Waits until fd is ready or timeoutMillis passes (negative counts as 0).  Returns a
// positive value when ready (an error or hang-up on the socket also counts as ready,
// so the following call reports it), 0 on time-out, -1 on failure.  Signals that
// interrupt the wait do not lengthen it.  With an abort flag the wait looks at it
// every kAbortCheckMillis and, once it is set, fails with errno ECANCELED.
int waitForSocket(int fd, Readiness what, int timeoutMillis, const AbortWatch* abort = nullptr);

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
