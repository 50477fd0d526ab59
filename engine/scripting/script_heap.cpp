#include "scripting/script_heap.h"

#include <cstdlib>
#include <cstring>

#include "scripting/script_interrupt.h"
#include "scripting/shared_script_heap.h"

namespace velk {
namespace {

// The size and the account are kept in front of each block, in a header that
// keeps the block aligned.
constexpr size_t kHeader = alignof(std::max_align_t);
static_assert(kHeader >= sizeof(size_t) + sizeof(HeapAccount*));

// How many timeout checks (each after 4,096 instructions) a user's turn lasts
// before it gives way: the same 65,536 steps after which a pattern match does.
constexpr uint32_t kChecksPerTurn = 16;

struct Header {
    size_t size;
    HeapAccount* account;
};

ScriptHeapUse& owner(void* udata) {
    return *static_cast<ScriptHeapUse*>(udata);
}

Header headerOf(void* block) {
    Header h;
    std::memcpy(&h.size, static_cast<char*>(block) - kHeader, sizeof h.size);
    std::memcpy(&h.account, static_cast<char*>(block) - kHeader + sizeof h.size, sizeof h.account);
    return h;
}

void* finish(char* raw, size_t size, HeapAccount* account) {
    std::memcpy(raw, &size, sizeof size);
    std::memcpy(raw + sizeof size, &account, sizeof account);
    return raw + kHeader;
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

bool ScriptHeapUse::stackLow(uintptr_t here) const {
    return m_current != nullptr && m_current->stackLow(here);
}

void* scriptHeapAlloc(void* udata, size_t size) {
    ScriptHeapUse& use = owner(udata);
    HeapAccount* account = nullptr;
    if (!charge(use, size, account)) return nullptr;
    auto* raw = static_cast<char*>(std::malloc(size + kHeader));
    if (raw == nullptr) {
        account->used -= size;
        return nullptr;
    }
    return finish(raw, size, account);
}

void* scriptHeapRealloc(void* udata, void* block, size_t size) {
    if (block == nullptr) return scriptHeapAlloc(udata, size);
    if (size == 0) {
        scriptHeapFree(udata, block);
        return nullptr;
    }
    ScriptHeapUse& use = owner(udata);
    const Header old = headerOf(block);
    ScriptInterrupt* user = use.current();
    HeapAccount* now = user ? &user->account() : &use.heapAccount();
    // A block that changes hands is charged whole to the user changing it.
    const size_t more = now == old.account ? (size > old.size ? size - old.size : 0) : size;
    if (more > 0) {
        if (size > kScriptHeapLimit) return nullptr;
        if (user == nullptr)
            now->used += more;
        else if (!user->takeHeap(more))
            return nullptr;
    }
    auto* raw =
        static_cast<char*>(std::realloc(static_cast<char*>(block) - kHeader, size + kHeader));
    if (raw == nullptr) {
        now->used -= more;
        return nullptr;
    }
    if (now != old.account)
        old.account->used -= old.size;
    else if (size < old.size)
        now->used -= old.size - size;
    return finish(raw, size, now);
}

void scriptHeapFree(void* udata, void* block) {
    (void)udata;
    if (block == nullptr) return;
    const Header h = headerOf(block);
    h.account->used -= h.size;
    std::free(static_cast<char*>(block) - kHeader);
}

}  // namespace velk
