#include "scripting/block_pool.h"

#include <sys/mman.h>

#include <cstring>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define VELK_POOL_POISON(at, bytes) ASAN_POISON_MEMORY_REGION((at), (bytes))
#define VELK_POOL_UNPOISON(at, bytes) ASAN_UNPOISON_MEMORY_REGION((at), (bytes))
#else
#define VELK_POOL_POISON(at, bytes) ((void)(at), (void)(bytes))
#define VELK_POOL_UNPOISON(at, bytes) ((void)(at), (void)(bytes))
#endif

namespace velk {

// At the start of each page, which is aligned to its size so that a slot finds
// it by masking its address.
struct BlockPool::Page {
    Page* prev = nullptr;  // among the pages of its size with a free slot
    Page* next = nullptr;
    Page* allPrev = nullptr;
    Page* allNext = nullptr;
    void* free = nullptr;   // freed slots, each holding the next
    char* carve = nullptr;  // the first slot never handed out
    char* end = nullptr;
    uint32_t slot = 0;
    uint32_t live = 0;
    uint32_t sizeIndex = 0;
    bool roomy = false;  // in m_roomy

    bool full() const { return free == nullptr && carve + slot > end; }
};

BlockPool::Page* BlockPool::pageOf(const void* slot) {
    return reinterpret_cast<Page*>(reinterpret_cast<uintptr_t>(slot) & ~uintptr_t(kPageBytes - 1));
}

BlockPool::~BlockPool() {
    while (m_all != nullptr) {
        Page* page = m_all;
        m_all = page->allNext;
        VELK_POOL_UNPOISON(page, kPageBytes);
        munmap(page, kPageBytes);
    }
}

BlockPool::Page* BlockPool::newPage(size_t sizeIndex) {
    // Twice the size, then the unaligned ends let go: a page aligned to its size.
    void* mapping = mmap(nullptr, 2 * kPageBytes, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED) return nullptr;
    const auto at = reinterpret_cast<uintptr_t>(mapping);
    const uintptr_t aligned = (at + kPageBytes - 1) & ~uintptr_t(kPageBytes - 1);
    if (aligned > at) munmap(mapping, aligned - at);
    if (const uintptr_t tail = at + 2 * kPageBytes - (aligned + kPageBytes); tail > 0)
        munmap(reinterpret_cast<void*>(aligned + kPageBytes), tail);

    auto* page = new (reinterpret_cast<void*>(aligned)) Page;
    page->slot = uint32_t((sizeIndex + 1) * 8);
    page->sizeIndex = uint32_t(sizeIndex);
    page->carve = reinterpret_cast<char*>(aligned) + (sizeof(Page) + 7) / 8 * 8;
    page->end = reinterpret_cast<char*>(aligned) + kPageBytes;
    VELK_POOL_POISON(page->carve, size_t(page->end - page->carve));
    page->allNext = m_all;
    if (m_all != nullptr) m_all->allPrev = page;
    m_all = page;
    ++m_pages;
    link(page);
    return page;
}

void BlockPool::link(Page* page) {
    Page*& head = m_roomy[page->sizeIndex];
    page->prev = nullptr;
    page->next = head;
    if (head != nullptr) head->prev = page;
    head = page;
    page->roomy = true;
}

void BlockPool::unlink(Page* page) {
    if (page->prev != nullptr)
        page->prev->next = page->next;
    else
        m_roomy[page->sizeIndex] = page->next;
    if (page->next != nullptr) page->next->prev = page->prev;
    page->prev = page->next = nullptr;
    page->roomy = false;
}

void* BlockPool::take(size_t bytes) {
    if (bytes == 0 || bytes > kLargestSlot) return nullptr;
    const size_t sizeIndex = (bytes + 7) / 8 - 1;
    Page* page = m_roomy[sizeIndex];
    if (page == nullptr && (page = newPage(sizeIndex)) == nullptr) return nullptr;
    void* slot;
    if (page->free != nullptr) {
        slot = page->free;
        VELK_POOL_UNPOISON(slot, sizeof(void*));
        std::memcpy(&page->free, slot, sizeof(void*));
    } else {
        slot = page->carve;
        page->carve += page->slot;
    }
    VELK_POOL_UNPOISON(slot, page->slot);
    if (page->live++ == 0 && m_empty[sizeIndex] == page) m_empty[sizeIndex] = nullptr;
    if (page->full()) unlink(page);
    return slot;
}

void BlockPool::give(void* slot) {
    if (slot == nullptr) return;
    Page* page = pageOf(slot);
    std::memcpy(slot, &page->free, sizeof(void*));
    page->free = slot;
    VELK_POOL_POISON(slot, page->slot);
    if (!page->roomy) link(page);
    if (--page->live > 0) return;
    Page*& kept = m_empty[page->sizeIndex];
    if (kept == nullptr) {
        kept = page;
        return;
    }
    // One empty page of a size is kept; more go back to the system.
    unlink(page);
    if (page->allPrev != nullptr)
        page->allPrev->allNext = page->allNext;
    else
        m_all = page->allNext;
    if (page->allNext != nullptr) page->allNext->allPrev = page->allPrev;
    --m_pages;
    VELK_POOL_UNPOISON(page, kPageBytes);
    munmap(page, kPageBytes);
}

size_t BlockPool::slotSize(const void* slot) {
    return pageOf(slot)->slot;
}

}  // namespace velk
