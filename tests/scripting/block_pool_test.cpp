// The small-block pool of a loop's shared interpreter heap, and the accounts
// kept over it.
#include "scripting/block_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "loop/event_loop.h"
#include "scripting/script_heap.h"
#include "scripting/shared_script_heap.h"

namespace velk {
namespace {

TEST(BlockPool, SlotsAreAlignedApartAndTheirPagesGoBackWhenEmpty) {
    BlockPool pool;
    EXPECT_EQ(pool.take(0), nullptr);
    EXPECT_EQ(pool.take(BlockPool::kLargestSlot + 1), nullptr);
    const size_t sizes[] = {1, 8, 9, 56, 100, 248, BlockPool::kLargestSlot};
    struct Taken {
        unsigned char* at;
        size_t size;
        unsigned char mark;
    };
    std::vector<Taken> taken;
    // Enough of each size to fill several pages.
    for (size_t size : sizes)
        for (int i = 0; i < 1000; ++i) {
            auto* at = static_cast<unsigned char*>(pool.take(size));
            ASSERT_NE(at, nullptr);
            const size_t slot = BlockPool::slotSize(at);
            ASSERT_EQ(reinterpret_cast<uintptr_t>(at) % 8, 0u);
            ASSERT_GE(slot, size);
            ASSERT_LT(slot, size + 8);
            const auto mark = static_cast<unsigned char>(taken.size());
            std::memset(at, mark, slot);
            taken.push_back({at, slot, mark});
        }
    const size_t fullPages = pool.pages();
    EXPECT_GT(fullPages, std::size(sizes));
    for (const Taken& t : taken)
        for (size_t i = 0; i < t.size; ++i) ASSERT_EQ(t.at[i], t.mark) << "slots overlap";

    // Every other slot back, then taken again: freed slots are reused first.
    for (size_t i = 0; i < taken.size(); i += 2) pool.give(taken[i].at);
    for (size_t i = 0; i < taken.size(); i += 2)
        taken[i].at = static_cast<unsigned char*>(pool.take(taken[i].size));
    EXPECT_EQ(pool.pages(), fullPages);

    for (const Taken& t : taken) pool.give(t.at);
    EXPECT_LE(pool.pages(), std::size(sizes));  // one empty page kept per size
}

// A shared heap's memory functions, on a loop task (where a shared heap lives).
TEST(SharedHeapAccounts, BlocksMovingInAndOutOfThePoolLeaveEveryAccountExact) {
    loop::EventLoop loop(loop::LoopOptions{.stackBytes = 256 * 1024});
    loop.spawn([] {
        SharedScriptHeap* heap = SharedScriptHeap::join();
        ASSERT_NE(heap, nullptr);
        ScriptHeapUse& use = heap->use();
        ASSERT_NE(use.pool(), nullptr);
        const size_t before = use.heapAccount().used;
        // Grown and shrunk across the pool's largest slot, its bytes kept.
        const size_t steps[] = {24, 200, 5000, 100, 300000, 8, 240};
        auto* block = static_cast<unsigned char*>(scriptHeapAlloc(&use, 16));
        ASSERT_NE(block, nullptr);
        std::memset(block, 0x5a, 16);
        size_t size = 16;
        for (size_t next : steps) {
            block = static_cast<unsigned char*>(scriptHeapRealloc(&use, block, next));
            ASSERT_NE(block, nullptr) << next;
            for (size_t i = 0; i < std::min({size, next, size_t{16}}); ++i)
                ASSERT_EQ(block[i], 0x5a) << next;
            EXPECT_GE(use.heapAccount().used, before + next);
            size = next;
        }
        scriptHeapFree(&use, block);
        EXPECT_EQ(use.heapAccount().used, before);
        heap->release();
    });
    loop.finishWhenIdle();
    loop.run();
}

}  // namespace
}  // namespace velk
