#include "scripting/script_heap.h"

#include <cstdlib>
#include <cstring>

#include "scripting/script_interrupt.h"

namespace velk {
namespace {

// The size is kept in front of each block, in a header that keeps the block aligned.
constexpr size_t kHeader = alignof(std::max_align_t);

ScriptInterrupt& owner(void* udata) {
    return *static_cast<ScriptInterrupt*>(udata);
}

size_t sizeOf(void* block) {
    size_t size;
    std::memcpy(&size, static_cast<char*>(block) - kHeader, sizeof size);
    return size;
}

void* finish(char* raw, size_t size) {
    std::memcpy(raw, &size, sizeof size);
    return raw + kHeader;
}

}  // namespace

void* scriptHeapAlloc(void* udata, size_t size) {
    ScriptInterrupt& heap = owner(udata);
    if (size > kScriptHeapLimit || !heap.takeHeap(size)) return nullptr;
    auto* raw = static_cast<char*>(std::malloc(size + kHeader));
    if (raw == nullptr) {
        heap.giveHeap(size);
        return nullptr;
    }
    return finish(raw, size);
}

void* scriptHeapRealloc(void* udata, void* block, size_t size) {
    if (block == nullptr) return scriptHeapAlloc(udata, size);
    ScriptInterrupt& heap = owner(udata);
    const size_t old = sizeOf(block);
    if (size == 0) {
        scriptHeapFree(udata, block);
        return nullptr;
    }
    if (size > old && (size > kScriptHeapLimit || !heap.takeHeap(size - old))) return nullptr;
    auto* raw =
        static_cast<char*>(std::realloc(static_cast<char*>(block) - kHeader, size + kHeader));
    if (raw == nullptr) {
        if (size > old) heap.giveHeap(size - old);
        return nullptr;
    }
    if (size < old) heap.giveHeap(old - size);
    return finish(raw, size);
}

void scriptHeapFree(void* udata, void* block) {
    if (block == nullptr) return;
    owner(udata).giveHeap(sizeOf(block));
    std::free(static_cast<char*>(block) - kHeader);
}

}  // namespace velk
