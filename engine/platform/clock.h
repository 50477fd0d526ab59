#pragma once
// Monotonic time for measuring requests and pacing users.  Safe from any thread.
#include <cstdint>

namespace velk::platform {

// Microseconds on the monotonic clock (never jumps with the time of day).
int64_t nowMicros();
// Milliseconds on the monotonic clock; the engine's "tick count".
int64_t tickMillis();
// Sleeps for the given milliseconds; 0 still yields the processor.
void sleepMillis(int64_t ms);
// Seconds since 1970 on the wall clock.
int64_t wallSeconds();

}  // namespace velk::platform
