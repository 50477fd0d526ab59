#include "loop/task_wait.h"

#include <chrono>

#include "base/abort_sleep.h"

namespace velk::loop {

EventLoop* taskLoop() {
    EventLoop* loop = EventLoop::current();
    return loop != nullptr && loop->currentTask() != nullptr ? loop : nullptr;
}

bool sleepOrStop(int64_t ms, const std::function<bool()>& stop, int64_t sliceMs) {
    EventLoop* loop = taskLoop();
    if (loop == nullptr) return sleepUnlessStopped(ms, stop, sliceMs);
    if (stop()) return false;
    if (ms <= 0) return true;
    return loop->sleepFor(std::chrono::milliseconds(ms));
}

}  // namespace velk::loop
