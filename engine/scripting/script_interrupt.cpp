#include "scripting/script_interrupt.h"

#include "platform/clock.h"

namespace velk {

bool ScriptInterrupt::shouldStop() {
    if (m_stopped) return true;
    if (m_abortFlag.load(std::memory_order_relaxed) == 0) return false;
    const int64_t now = platform::tickMillis();
    if (m_abortSeenAt < 0) m_abortSeenAt = now;
    if (now - m_abortSeenAt >= m_graceMs) m_stopped = true;
    return m_stopped;
}

bool ScriptInterrupt::takeHeap(size_t bytes) {
    // Stopped heaps are also torn down: freeing never asks, and the interpreter
    // allocates nothing it needs to end.
    if (shouldStop() || bytes > m_heapLimit - m_heapUsed) return false;
    m_heapUsed += bytes;
    return true;
}

}  // namespace velk

// The interpreter's execution-timeout hook (see engine/scripting/CMakeLists.txt):
// udata is the heap's ScriptInterrupt.
extern "C" int velk_script_interrupted(void* udata) {
    return udata != nullptr && static_cast<velk::ScriptInterrupt*>(udata)->shouldStop();
}
