#pragma once
// Waiting that an abort cuts short: pauses between requests, ramp-up steps and
// speed-limit pacing sleep in slices so that a stopped run does not wait out a
// long delay.  Safe from any thread; each caller waits on its own.
#include <atomic>
#include <cstdint>
#include <functional>

namespace velk {

// Longest stretch any wait, pause or blocking call runs without looking at the
// run's abort flag: a stopped run ends within this much of the stop.
inline constexpr int kAbortCheckMillis = 100;

// Sleeps about ms milliseconds on the monotonic clock in slices of at most
// sliceMs, asking stop() before each slice and returning early once it says
// true.  Returns false when stopped early, true when the time ran out.
bool sleepUnlessStopped(int64_t ms, const std::function<bool()>& stop,
                        int64_t sliceMs = kAbortCheckMillis);

// The same with an abort flag (none: sleeps the whole time).
bool sleepUnlessAborted(int64_t ms, const std::atomic<int32_t>* abort,
                        int64_t sliceMs = kAbortCheckMillis);

}  // namespace velk
