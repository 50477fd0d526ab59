#pragma once
// A stackful coroutine: body runs on its own CoroutineStack and may suspend()
// at any depth, returning control to whoever called resume(); the next
// resume() continues it there.  Switches are asymmetric (a thread's own stack
// resumes a coroutine, a coroutine suspends back to it) and are announced to
// AddressSanitizer and ThreadSanitizer when the build uses them.
//
// An exception that leaves body is caught at the coroutine's entry (none may
// cross a switch) and kept as failure().  A coroutine must not suspend inside a
// catch block.  Not thread-safe: a coroutine is resumed by one thread at a time,
// and destroyed only while suspended or finished (a suspended one's stack is
// dropped without unwinding, so the owner finishes its coroutines first).
#include <cstdint>
#include <functional>
#include <string>

#include "loop/context_switch.h"
#include "loop/coroutine_stack.h"

namespace velk::loop {

class Coroutine {
public:
    Coroutine(CoroutineStack stack, std::function<void()> body);
    ~Coroutine();
    Coroutine(const Coroutine&) = delete;
    Coroutine& operator=(const Coroutine&) = delete;

    // Runs the coroutine until it suspends or finishes.  Called from outside
    // any coroutine; not on a finished one.
    void resume();
    // From inside a coroutine: returns to the caller of resume().
    static void suspend();
    // The coroutine running on this thread, or nullptr on the thread's stack.
    static Coroutine* current();

    // Lowest usable address of the coroutine's stack.
    uintptr_t stackLow() const { return reinterpret_cast<uintptr_t>(m_stack.bottom()); }
    // From inside the coroutine: lets the pages below the caller's frame go
    // (CoroutineStack::releaseBelow), before a long wait.
    void releaseUnusedStack();
    bool finished() const { return m_finished; }
    bool failed() const { return m_failed; }
    // What the escaped exception said; empty when none escaped.
    const std::string& failure() const { return m_failure; }
    // Gives the stack back once finished, for reuse.
    CoroutineStack takeStack();

private:
    [[noreturn]] static void entry();
    void switchOut(bool finishing);

    CoroutineStack m_stack;
    std::function<void()> m_body;
    StackPointer m_context = nullptr;  // saved while suspended
    StackPointer m_caller = nullptr;   // saved while running
    bool m_finished = false;
    bool m_failed = false;
    std::string m_failure;
    // Sanitizer bookkeeping; unused in plain builds.
    void* m_asanFakeStack = nullptr;
    const void* m_callerStackBottom = nullptr;
    size_t m_callerStackSize = 0;
    void* m_tsanFiber = nullptr;
    void* m_tsanCaller = nullptr;
};

}  // namespace velk::loop
