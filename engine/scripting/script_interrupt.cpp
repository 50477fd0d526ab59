#include "scripting/script_interrupt.h"

#include <algorithm>

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
    if (shouldStop() || bytes > m_heapLimit - std::min(m_heapLimit, m_account->used)) return false;
    m_account->used += bytes;
    return true;
}

}  // namespace velk

// The interpreter's execution-timeout hook (see engine/scripting/CMakeLists.txt):
// udata is the heap's ScriptHeapUse; turn says whether the code may give way.
extern "C" int velk_script_interrupted(void* udata, int turn) {
    return udata != nullptr && static_cast<velk::ScriptHeapUse*>(udata)->interrupted(turn);
}
