#pragma once
// Small blocks for a loop's shared interpreter heap, in slots of their own
// size (8-byte steps) cut from 64 KiB pages.
//
// Most of what the interpreter allocates is small (objects of 56 to 152
// bytes, their property tables), and malloc adds 8 bytes to each block and
// rounds it up to 16: with our account header that is about 16 bytes a block,
// some 4 KiB per script user when thousands share a heap.  A slot costs
// exactly its 8-byte-rounded size.
//
// Slots are carved from a page in order, so the untouched rest of a page costs
// no memory; a freed slot is reused first.  A page whose slots are all free
// goes back to the system, except one per size kept for the next user.
//
// Belongs to one thread (the loop's); not copyable.
#include <array>
#include <cstddef>
#include <cstdint>

namespace velk {

class BlockPool {
public:
    // The largest slot; larger blocks are malloc's.
    static constexpr size_t kLargestSlot = 256;
    static constexpr size_t kPageBytes = size_t(64) << 10;

    BlockPool() = default;
    ~BlockPool();
    BlockPool(const BlockPool&) = delete;
    BlockPool& operator=(const BlockPool&) = delete;

    // A slot of at least bytes (1 to kLargestSlot), aligned to 8; nullptr when
    // the system gives no page.
    void* take(size_t bytes);
    // Gives back a slot that take() returned.
    void give(void* slot);
    // The size of the slot that take() returned.
    static size_t slotSize(const void* slot);

    // Pages held now (for tests and figures).
    size_t pages() const { return m_pages; }

private:
    struct Page;
    static constexpr size_t kSizes = kLargestSlot / 8;

    static Page* pageOf(const void* slot);

    Page* newPage(size_t sizeIndex);
    void link(Page* page);
    void unlink(Page* page);

    std::array<Page*, kSizes> m_roomy{};  // per slot size: the pages with a free slot
    std::array<Page*, kSizes> m_empty{};  // per slot size: the one empty page kept
    Page* m_all = nullptr;                // every page, to be let go at the end
    size_t m_pages = 0;
};

}  // namespace velk
