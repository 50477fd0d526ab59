#include "scripting/native_stack_guard.h"

#include "platform/thread.h"

namespace velk {
namespace {

// Lowest stack address the interpreter may grow to on this thread; 0: unchecked.
thread_local uintptr_t t_stackFloor = 0;

}  // namespace

NativeStackGuard::NativeStackGuard() : m_previous(t_stackFloor) {
    const uintptr_t low = platform::currentStackLow();
    t_stackFloor = low == 0 ? 0 : low + kStackReserve;
}

NativeStackGuard::~NativeStackGuard() { t_stackFloor = m_previous; }

}  // namespace velk

// The interpreter's native stack check (see engine/scripting/CMakeLists.txt).
extern "C" int velk_script_stack_low(void) {
    const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    return velk::t_stackFloor != 0 && here < velk::t_stackFloor;
}
