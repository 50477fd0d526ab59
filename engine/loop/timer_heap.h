#pragma once
// Deadlines of one event loop: a binary min-heap of intrusive entries, ordered
// by deadline and then by insertion, so that equal deadlines fire in the order
// they were set.  Insert, cancel and pop are O(log n); an entry knows its slot,
// so cancel needs no search.  Not thread-safe: owned by its loop's thread.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velk::loop {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;
inline constexpr Deadline kNoDeadline = Deadline::max();

struct TimerEntry {
    static constexpr size_t kNotQueued = static_cast<size_t>(-1);
    Deadline deadline{};
    uint64_t sequence = 0;
    size_t slot = kNotQueued;
    void* owner = nullptr;
    bool queued() const { return slot != kNotQueued; }
};

class TimerHeap {
public:
    // The entry must stay alive until popped or cancelled.
    void insert(TimerEntry& entry, Deadline deadline);
    // Does nothing when the entry is not queued.
    void cancel(TimerEntry& entry);
    // The earliest entry whose deadline is at or before now, removed; nullptr
    // when none is due.
    TimerEntry* popDue(Deadline now);
    // The earliest deadline, or kNoDeadline when empty.
    Deadline next() const { return m_heap.empty() ? kNoDeadline : m_heap.front()->deadline; }
    size_t size() const { return m_heap.size(); }

private:
    static bool earlier(const TimerEntry* a, const TimerEntry* b);
    void place(size_t slot, TimerEntry* entry);
    void siftUp(size_t slot);
    void siftDown(size_t slot);
    void removeAt(size_t slot);

    std::vector<TimerEntry*> m_heap;
    uint64_t m_nextSequence = 0;
};

}  // namespace velk::loop
