#include "loop/timer_heap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace velk::loop {
namespace {

// Random inserts, re-inserts and cancels against a sorted reference: entries
// come out by deadline, equal deadlines in the order they were (last) set.
TEST(TimerHeap, PopsByDeadlineThenInsertionOrderAcrossCancels) {
    std::mt19937 random(7);
    const Deadline base = Clock::now();
    constexpr int kEntries = 2000;
    std::vector<TimerEntry> entries(kEntries);
    std::vector<std::pair<Deadline, uint64_t>> expected;  // (deadline, set order)
    std::vector<int64_t> setOrder(kEntries, -1);
    TimerHeap heap;
    uint64_t order = 0;
    for (int round = 0; round < 3 * kEntries; ++round) {
        const int i = static_cast<int>(random() % kEntries);
        if (random() % 4 == 0) {
            heap.cancel(entries[i]);
            setOrder[i] = -1;
        } else {
            heap.insert(entries[i], base + std::chrono::milliseconds(random() % 50));
            setOrder[i] = static_cast<int64_t>(order++);
        }
    }
    for (int i = 0; i < kEntries; ++i) {
        EXPECT_EQ(entries[i].queued(), setOrder[i] >= 0);
        if (setOrder[i] >= 0) expected.emplace_back(entries[i].deadline, setOrder[i]);
    }
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(heap.size(), expected.size());
    for (const auto& [deadline, set] : expected) {
        TimerEntry* due = heap.popDue(kNoDeadline - std::chrono::hours(1));
        ASSERT_NE(due, nullptr);
        EXPECT_EQ(due->deadline, deadline);
        EXPECT_EQ(setOrder[due - entries.data()], static_cast<int64_t>(set));
        EXPECT_FALSE(due->queued());
    }
    EXPECT_EQ(heap.next(), kNoDeadline);
}

TEST(TimerHeap, NothingIsDueBeforeItsDeadline) {
    TimerHeap heap;
    TimerEntry entry;
    const Deadline at = Clock::now() + std::chrono::hours(1);
    heap.insert(entry, at);
    EXPECT_EQ(heap.popDue(at - std::chrono::milliseconds(1)), nullptr);
    EXPECT_EQ(heap.next(), at);
    EXPECT_EQ(heap.popDue(at), &entry);
    heap.cancel(entry);  // not queued any more: harmless
    EXPECT_EQ(heap.size(), 0u);
}

}  // namespace
}  // namespace velk::loop
