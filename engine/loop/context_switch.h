#pragma once
// The machine-level switch between stacks (x86-64 System V).  A context is the
// saved stack pointer of a suspended stack; the callee-saved registers and the
// floating-point control words live on that stack.  Knows nothing of
// sanitizers or exceptions: Coroutine adds those.
#include <cstddef>

namespace velk::loop {

using StackPointer = void*;

// Saves the running context into *from and continues the one saved in to.
// Returns when something switches back to *from.
extern "C" void velk_loop_switch(StackPointer* from, StackPointer to);

// Prepares a fresh stack [bottom, top) so that the first switch to the returned
// context calls entry() on it.  entry must never return.
StackPointer prepareContext(void* top, void (*entry)());

}  // namespace velk::loop
