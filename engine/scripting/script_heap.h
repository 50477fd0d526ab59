#pragma once
// The memory functions of a script interpreter's heap, and the heap's user data
// (ScriptHeapUse).  Every block carries the account it is charged to (its size
// is what malloc gives it): the user whose turn it was when it was made.  An
// allocation that would take that user past its budget fails, and so does
// every allocation once the user's script must stop (its ScriptInterrupt says
// so).  The interpreter raises a failed allocation as an error in the script
// ("alloc failed"), which ends it unless it catches it, and a stopped script
// cannot catch its way on.  A loop around an expensive built-in (a huge join)
// is therefore stopped by the clock too, not only by the count of instructions
// run.
//
// A heap of its own (a user on a thread) has one user all the time.  A heap
// that the users of one event loop share (shared_script_heap.h) changes users
// with each turn, so a block made by one user may be freed (by the collector)
// in another's turn: it is credited to the account it was charged to, never to
// whoever runs then, and each user's count stays its own.  Blocks made while no
// user has the heap (its creation, a user's environment taken away) are charged
// to the heap, which has no budget.
//
// Used on the heap's thread only.
#include <cstddef>
#include <cstdint>
#include <forward_list>
#include <memory>

#include "scripting/block_pool.h"

namespace velk {

// Each script-driven user's memory budget.
inline constexpr size_t kScriptHeapLimit = size_t(64) << 20;

class ScriptInterrupt;
class SharedScriptHeap;

// Bytes charged to one user (or to the heap itself).
struct HeapAccount {
    size_t used = 0;
};

class ScriptHeapUse {
public:
    ScriptHeapUse() = default;
    ScriptHeapUse(const ScriptHeapUse&) = delete;
    ScriptHeapUse& operator=(const ScriptHeapUse&) = delete;

    // The user whose turn it is (nullptr: nobody's).
    ScriptInterrupt* current() const { return m_current; }
    void setCurrent(ScriptInterrupt* user) {
        m_current = user;
        m_checks = 0;
    }
    // What blocks made outside any user's turn are charged to.
    HeapAccount& heapAccount() { return m_heapAccount; }
    // A new account, kept as long as the heap: blocks outlive their users.
    HeapAccount& newAccount() { return m_accounts.emplace_front(); }
    // The loop's shared heap when this is one, else nullptr.  A shared heap
    // keeps its small blocks in a pool (block_pool.h).
    void setShared(SharedScriptHeap* shared) {
        m_shared = shared;
        if (shared && !m_pool) m_pool = std::make_unique<BlockPool>();
    }
    BlockPool* pool() { return m_pool.get(); }

    // The interpreter's execution-timeout check; turn as velk_duk_turn_flags.
    bool interrupted(int turn);
    // The interpreter's native stack check.
    bool stackLow(uintptr_t here) const;
    // How many collections the interpreter runs, one before each new try, when
    // an allocation is refused: ten (its own rule) on a heap of one user's; on
    // a shared heap none for a user that must stop and one otherwise (it may
    // free that user's cycles), since each walks the whole loop's heap.
    int gcRetries() const;

private:
    ScriptInterrupt* m_current = nullptr;
    SharedScriptHeap* m_shared = nullptr;
    uint32_t m_checks = 0;  // timeout checks in the present turn
    HeapAccount m_heapAccount;
    // Stable addresses, and no allocation until the first account: a user on
    // a loop carries a ScriptHeapUse it never uses.
    std::forward_list<HeapAccount> m_accounts;
    std::unique_ptr<BlockPool> m_pool;  // a shared heap's small blocks
};

// udata is the heap's ScriptHeapUse.
void* scriptHeapAlloc(void* udata, size_t size);
void* scriptHeapRealloc(void* udata, void* block, size_t size);
void scriptHeapFree(void* udata, void* block);

}  // namespace velk
