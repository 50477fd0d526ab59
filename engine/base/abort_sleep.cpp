#include "base/abort_sleep.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace velk {
namespace {

int64_t tick() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

bool sleepUnlessStopped(int64_t ms, const std::function<bool()>& stop, int64_t sliceMs) {
    const int64_t until = tick() + std::max<int64_t>(ms, 0);
    for (int64_t now = tick(); now < until; now = tick()) {
        if (stop()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(sliceMs, until - now)));
    }
    return true;
}

bool sleepUnlessAborted(int64_t ms, const std::atomic<int32_t>* abort, int64_t sliceMs) {
    return sleepUnlessStopped(
        ms, [abort] { return abort != nullptr && abort->load(std::memory_order_relaxed) != 0; },
        sliceMs);
}

}  // namespace velk
