#include "loop/task_wait.h"

#include <chrono>
#include <thread>

#include "base/abort_sleep.h"
#include "loop/coroutine.h"
#include "platform/thread.h"

namespace velk::loop {

EventLoop* taskLoop() {
    EventLoop* loop = EventLoop::current();
    return loop != nullptr && loop->currentTask() != nullptr ? loop : nullptr;
}

bool sleepOrStop(int64_t ms, const std::function<bool()>& stop, int64_t sliceMs) {
    EventLoop* loop = taskLoop();
    if (loop == nullptr) {
        if (ms <= 0) {
            if (stop()) return false;
            std::this_thread::yield();
            return true;
        }
        return sleepUnlessStopped(ms, stop, sliceMs);
    }
    if (stop()) return false;
    if (ms <= 0) {
        loop->yield();
        return true;
    }
    return loop->sleepFor(std::chrono::milliseconds(ms));
}

void yieldTask() {
    if (EventLoop* loop = taskLoop()) loop->yield();
}

uintptr_t currentStackLow() {
    if (const Coroutine* coroutine = Coroutine::current()) return coroutine->stackLow();
    return platform::currentStackLow();
}

int64_t latenessMicros(int fd, int64_t sinceMicros) {
    EventLoop* loop = taskLoop();
    if (loop == nullptr) return 0;
    const Deadline since{std::chrono::microseconds(sinceMicros)};
    return std::chrono::duration_cast<std::chrono::microseconds>(loop->lateness(fd, since)).count();
}

}  // namespace velk::loop
