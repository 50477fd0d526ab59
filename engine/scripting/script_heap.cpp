#include "scripting/script_heap.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "scripting/script_interrupt.h"
#include "scripting/shared_script_heap.h"

namespace velk {
namespace {

// The account is kept in front of each block, in a header of one pointer; the
// size is the allocator's own (malloc_usable_size or the pool's slot), so that
// a block costs no more than a pointer beyond what the allocator keeps anyway.
// The header's lowest bit says the block is in the heap's pool (accounts are
// aligned, so it is free).  The interpreter needs blocks aligned to 8 bytes
// (DUK_USE_ALIGN_BY), which the header keeps.
constexpr size_t kHeader = sizeof(HeapAccount*);
static_assert(kHeader == 8 && alignof(std::max_align_t) % kHeader == 0);
static_assert(alignof(HeapAccount) > 1);
constexpr uintptr_t kPooled = 1;

// How many timeout checks (each after 4,096 instructions) a user's turn lasts
// before it gives way: the same 65,536 steps after which a pattern match does.
constexpr uint32_t kChecksPerTurn = 16;

ScriptHeapUse& owner(void* udata) {
    return *static_cast<ScriptHeapUse*>(udata);
}

char* rawOf(void* block) {
    return static_cast<char*>(block) - kHeader;
}

uintptr_t headerOf(const char* raw) {
    uintptr_t header;
    std::memcpy(&header, raw, sizeof header);
    return header;
}

bool pooled(const char* raw) {
    return (headerOf(raw) & kPooled) != 0;
}

// What the block is charged: all of it that its owner can use.
size_t sizeOf(char* raw) {
    return (pooled(raw) ? BlockPool::slotSize(raw) : malloc_usable_size(raw)) - kHeader;
}

HeapAccount* accountOf(char* raw) {
    return reinterpret_cast<HeapAccount*>(headerOf(raw) & ~kPooled);
}

void* finish(char* raw, HeapAccount* account, bool inPool) {
    const uintptr_t header = reinterpret_cast<uintptr_t>(account) | (inPool ? kPooled : 0);
    std::memcpy(raw, &header, sizeof header);
    return raw + kHeader;
}

// Whether a block of size (without header) belongs in the heap's pool.
bool fitsPool(ScriptHeapUse& use, size_t size) {
    return use.pool() != nullptr && size <= BlockPool::kLargestSlot - kHeader;
}

// Charges size to whoever has the heap now; false (nothing charged) when that
// user may not have it.
bool charge(ScriptHeapUse& use, size_t size, HeapAccount*& account) {
    if (size > kScriptHeapLimit) return false;
    if (ScriptInterrupt* user = use.current()) {
        if (!user->takeHeap(size)) return false;
        account = &user->account();
    } else {
        account = &use.heapAccount();
        account->used += size;
    }
    return true;
}

}  // namespace

bool ScriptHeapUse::interrupted(int turn) {
    ScriptInterrupt* user = m_current;
    if (m_shared != nullptr) {
        // A finalizer on a shared heap runs in whoever's turn comes: it is not
        // that user's work, and it must not hold the loop, so it is stopped.
        if (turn & 2) return true;
        if (user == nullptr) return false;
        if (user->shouldStop()) return true;
        if ((turn & 1) && ++m_checks >= kChecksPerTurn) {
            m_checks = 0;
            m_shared->giveWay();
            return user->shouldStop();
        }
        return false;
    }
    return user != nullptr && user->shouldStop();
}

int ScriptHeapUse::gcRetries() const {
    if (m_shared == nullptr) return 10;
    return m_current != nullptr && m_current->stopped() ? 0 : 1;
}

bool ScriptHeapUse::stackLow(uintptr_t here) const {
    return m_current != nullptr && m_current->stackLow(here);
}

void* scriptHeapAlloc(void* udata, size_t size) {
    ScriptHeapUse& use = owner(udata);
    HeapAccount* account = nullptr;
    if (!charge(use, size, account)) return nullptr;
    const bool inPool = fitsPool(use, size);
    auto* raw =
        static_cast<char*>(inPool ? use.pool()->take(size + kHeader) : std::malloc(size + kHeader));
    if (raw == nullptr) {
        account->used -= size;
        return nullptr;
    }
    void* block = finish(raw, account, inPool);
    // The rounding the allocator adds is the user's too; it never counts against the check.
    account->used += sizeOf(raw) - size;
    return block;
}

void* scriptHeapRealloc(void* udata, void* block, size_t size) {
    if (block == nullptr) return scriptHeapAlloc(udata, size);
    if (size == 0) {
        scriptHeapFree(udata, block);
        return nullptr;
    }
    ScriptHeapUse& use = owner(udata);
    char* old = rawOf(block);
    const size_t oldSize = sizeOf(old);
    if (pooled(old) || fitsPool(use, size)) {
        // Into, out of or within the pool: a new block, charged as any, and the
        // old one credited to its account.
        void* moved = scriptHeapAlloc(udata, size);
        if (moved == nullptr) return nullptr;
        std::memcpy(moved, block, std::min(size, oldSize));
        scriptHeapFree(udata, block);
        return moved;
    }
    HeapAccount* oldAccount = accountOf(old);
    ScriptInterrupt* user = use.current();
    HeapAccount* now = user ? &user->account() : &use.heapAccount();
    // A block that changes hands is charged whole to the user changing it.
    const bool same = now == oldAccount;
    const size_t more = same ? (size > oldSize ? size - oldSize : 0) : size;
    if (more > 0) {
        if (size > kScriptHeapLimit) return nullptr;
        if (user == nullptr)
            now->used += more;
        else if (!user->takeHeap(more))
            return nullptr;
    }
    auto* raw = static_cast<char*>(std::realloc(old, size + kHeader));
    if (raw == nullptr) {
        now->used -= more;
        return nullptr;
    }
    // Settle at what the block really is now.
    if (same) {
        now->used -= oldSize + more;
    } else {
        oldAccount->used -= oldSize;
        now->used -= more;
    }
    void* moved = finish(raw, now, false);
    now->used += sizeOf(raw);
    return moved;
}

void scriptHeapFree(void* udata, void* block) {
    if (block == nullptr) return;
    char* raw = rawOf(block);
    accountOf(raw)->used -= sizeOf(raw);
    if (pooled(raw))
        owner(udata).pool()->give(raw);
    else
        std::free(raw);
}

}  // namespace velk

// The interpreter's retry count after a refused allocation (see
// engine/scripting/CMakeLists.txt): udata is the heap's ScriptHeapUse.
extern "C" int velk_duk_gc_retries(void* udata) {
    return udata != nullptr ? static_cast<velk::ScriptHeapUse*>(udata)->gcRetries() : 10;
}
