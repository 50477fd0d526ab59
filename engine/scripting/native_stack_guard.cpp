#include "scripting/native_stack_guard.h"

#include "platform/thread.h"
#include "scripting/script_interrupt.h"

namespace velk {

NativeStackGuard::NativeStackGuard(ScriptInterrupt& heap)
    : m_heap(heap), m_previous(heap.stackFloor()) {
    const uintptr_t low = platform::currentStackLow();
    m_heap.setStackFloor(low == 0 ? 0 : low + kStackReserve);
}

NativeStackGuard::~NativeStackGuard() {
    m_heap.setStackFloor(m_previous);
}

}  // namespace velk

// The interpreter's native stack check (see engine/scripting/CMakeLists.txt):
// udata is the heap's ScriptInterrupt.
extern "C" int velk_script_stack_low(void* udata) {
    const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    return udata != nullptr && static_cast<const velk::ScriptInterrupt*>(udata)->stackLow(here);
}
