#include "platform/clock.h"

#include <sched.h>
#include <time.h>

namespace velk::platform {

int64_t nowMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int64_t tickMillis() {
    return nowMicros() / 1000;
}

void sleepMillis(int64_t ms) {
    if (ms <= 0) {
        sched_yield();
        return;
    }
    timespec ts{time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

int64_t wallSeconds() {
    return int64_t(time(nullptr));
}

}  // namespace velk::platform
