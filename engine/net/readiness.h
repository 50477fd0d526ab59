#pragma once
// Readiness waits on one descriptor with poll(), which, unlike select, works for any
// descriptor number.  Safe from any thread.

namespace velk::net {

enum class Readiness { kRead, kWrite };

// Waits until fd is ready or timeoutMillis passes (negative counts as 0).  Returns a
// positive value when ready (an error or hang-up on the socket also counts as ready,
// so the following call reports it), 0 on time-out, -1 on failure.  Signals that
// interrupt the wait do not lengthen it.
int waitForSocket(int fd, Readiness what, int timeoutMillis);

// Seconds as a poll() time-out in milliseconds, clamped to what poll accepts.
int secondsToPollMillis(int seconds);

}  // namespace velk::net
