#pragma once
// Waits for code that runs either as a task on an event loop (users) or on a
// thread of its own (hosts, users when the loops cannot be made): on a task the
// wait parks it on its loop, so the loop's other tasks go on; elsewhere it
// blocks the calling thread.  Safe from any thread.
#include <cstdint>
#include <functional>

#include "loop/event_loop.h"

namespace velk::loop {

// The loop of the calling task; nullptr on a plain thread (or on a loop's
// thread outside any task).
EventLoop* taskLoop();

// Sleeps about ms milliseconds and says true; false when stopped early.  stop()
// is asked first.  On a task the loop's cancelWaits() or interruptSleeps() (how
// a run's abort reaches its tasks) ends the sleep; on a thread stop() is asked
// again every sliceMs.  A sleep of 0 or less still gives way: on a task the
// loop's other ready tasks run first (EventLoop::yield), on a thread the
// processor is yielded.
bool sleepOrStop(int64_t ms, const std::function<bool()>& stop, int64_t sliceMs);

// Long CPU work (matching a pattern, composing, sending or receiving many bytes)
// gives way every so often through this: on a task the loop's other tasks run
// first; on a thread of its own nothing happens (the system shares the
// processor there).
void yieldTask();

// Lowest address of the stack the caller runs on: its task's stack on a task,
// else its thread's; 0 when unknown.
uintptr_t currentStackLow();

// Steps of pattern matching, and bytes composed, sent or received, between two
// yieldTask() calls: about a tenth of a millisecond of work each here, so a
// heavy user delays the others on its loop by about that much at a time.
inline constexpr uint64_t kYieldSteps = uint64_t(1) << 16;
inline constexpr int64_t kYieldBytes = int64_t(256) << 10;

// Microseconds the calling task's present turn waited for the processor after
// its loop saw it could go on (see EventLoop::lateness), counting only
// readiness seen at or after sinceMicros (platform::nowMicros time).  What a
// response time subtracts so that it ends when its last bytes were seen, not
// when a busy loop got round to them.  0 on a plain thread.
int64_t latenessMicros(int fd, int64_t sinceMicros);

}  // namespace velk::loop
