#include "scripting/native_stack_guard.h"

#include "loop/task_wait.h"
#include "scripting/script_heap.h"
#include "scripting/script_interrupt.h"

namespace velk {

NativeStackGuard::NativeStackGuard(ScriptInterrupt& heap)
    : m_heap(heap), m_previous(heap.stackFloor()) {
    const uintptr_t low = loop::currentStackLow();
    m_heap.setStackFloor(low == 0 ? 0 : low + kStackReserve);
}

NativeStackGuard::~NativeStackGuard() {
    m_heap.setStackFloor(m_previous);
}

}  // namespace velk

// The interpreter's native stack check (see engine/scripting/CMakeLists.txt):
// udata is the heap's ScriptHeapUse.
extern "C" int velk_script_stack_low(void* udata) {
    const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    return udata != nullptr && static_cast<const velk::ScriptHeapUse*>(udata)->stackLow(here);
}
