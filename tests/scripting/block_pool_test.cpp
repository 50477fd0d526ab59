// The small-block pool of a loop's shared interpreter heap, and the accounts
// kept over it.
#include "scripting/block_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    // Enough of each size to fill several pages, each slot filled with its mark.
    const size_t sizes[] = {1, 9, 56, 248, BlockPool::kLargestSlot};
    std::vector<std::pair<unsigned char*, size_t>> taken;
    for (size_t size : sizes)
        for (int i = 0; i < 1000; ++i) {
            auto* at = static_cast<unsigned char*>(pool.take(size));
            ASSERT_TRUE(at && uintptr_t(at) % 8 == 0);
            ASSERT_TRUE(BlockPool::slotSize(at) >= size && BlockPool::slotSize(at) < size + 8);
            taken.emplace_back(at, size);
            std::memset(at, int(taken.size() % 251), BlockPool::slotSize(at));
        }
    for (size_t k = 0; k < taken.size(); ++k)
        ASSERT_EQ(std::count(taken[k].first, taken[k].first + taken[k].second, (k + 1) % 251),
                  ptrdiff_t(taken[k].second));
    // Freed slots are taken first, then empty pages go but one per size.
    const size_t full = pool.pages();
    for (size_t k = 0; k < taken.size(); k += 2) pool.give(taken[k].first);
    for (size_t k = 0; k < taken.size(); k += 2)
        taken[k].first = static_cast<unsigned char*>(pool.take(taken[k].second));
    EXPECT_EQ(pool.pages(), full);
    for (const auto& [at, size] : taken) pool.give(at);
    EXPECT_LE(pool.pages(), std::size(sizes));
}

// A shared heap's memory functions, on a loop task (where a shared heap lives).
TEST(SharedHeapAccounts, BlocksMovingInAndOutOfThePoolLeaveEveryAccountExact) {
    loop::EventLoop loop(loop::LoopOptions{.stackBytes = 256 * 1024});
    loop.spawn([] {
        SharedScriptHeap* heap = SharedScriptHeap::join();
        ScriptHeapUse& use = heap->use();
        const size_t before = use.heapAccount().used;
        // Grown and shrunk across the pool's largest slot, its first bytes kept.
        auto* block = static_cast<unsigned char*>(scriptHeapAlloc(&use, 16));
        std::memset(block, 0x5a, 16);
        size_t size = 16;
        for (size_t next : {24, 200, 5000, 100, 300000, 8, 240}) {
            block = static_cast<unsigned char*>(scriptHeapRealloc(&use, block, next));
            ASSERT_NE(block, nullptr);
            ASSERT_EQ(std::count(block, block + std::min({size, next, size_t{16}}), 0x5a),
                      ptrdiff_t(std::min({size, next, size_t{16}})));
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
