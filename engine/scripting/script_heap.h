#pragma once
// The memory functions of a script interpreter's heap.  Every block carries its
// size, so the heap's total is known: an allocation that would take it past the
// heap's budget fails, and so does every allocation once the script must stop
// (its ScriptInterrupt says so).  The interpreter raises a failed allocation as
// an error in the script ("alloc failed"), which ends it unless it catches it,
// and a stopped script cannot catch its way on.  A loop around an expensive
// built-in (a huge join) is therefore stopped by the clock too, not only by the
// count of instructions run.
//
// udata is the heap's ScriptInterrupt, which keeps the count; used on the
// heap's thread only.
#include <cstddef>

namespace velk {

// Each script interpreter's memory budget.
inline constexpr size_t kScriptHeapLimit = size_t(64) << 20;

void* scriptHeapAlloc(void* udata, size_t size);
void* scriptHeapRealloc(void* udata, void* block, size_t size);
void scriptHeapFree(void* udata, void* block);

}  // namespace velk
