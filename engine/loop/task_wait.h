#pragma once
// Waits for code that runs either as a task on an event loop (sequence-driven
// users) or on a thread of its own (script-driven users, hosts): on a task the
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
// is asked first.  On a task the loop's cancelWaits() (how a run's abort
// reaches its tasks) ends the sleep; on a thread stop() is asked again every
// sliceMs.
bool sleepOrStop(int64_t ms, const std::function<bool()>& stop, int64_t sliceMs);

}  // namespace velk::loop
