#pragma once
// Keeps the interpreter's C recursion (calls through native functions, the
// compiler, regular expressions, JSON) from overflowing a user's thread stack,
// which is small because there are many users.  While a guard lives, the
// heap's stack check (ScriptInterrupt::stackLow) reports "low" once the stack
// of the calling thread has grown to within kStackReserve bytes of its end;
// the script then gets a RangeError where the process would otherwise crash.
// The stack is the user's task's on an event loop, else its thread's.
// The reserve leaves room for the frames between two checks and for a velk
// method (a request with TLS and name resolution) called at the deepest point.
//
// Made and destroyed on the heap's thread (in the user's task), around every
// entry into the heap.
#include <cstddef>
#include <cstdint>

namespace velk {

inline constexpr size_t kStackReserve = 112 * 1024;

class ScriptInterrupt;

class NativeStackGuard {
public:
    explicit NativeStackGuard(ScriptInterrupt& heap);
    ~NativeStackGuard();
    NativeStackGuard(const NativeStackGuard&) = delete;
    NativeStackGuard& operator=(const NativeStackGuard&) = delete;

private:
    ScriptInterrupt& m_heap;
    uintptr_t m_previous;
};

}  // namespace velk
