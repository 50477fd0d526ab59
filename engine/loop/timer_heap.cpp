#include "loop/timer_heap.h"

namespace velk::loop {

bool TimerHeap::earlier(const TimerEntry* a, const TimerEntry* b) {
    if (a->deadline != b->deadline) return a->deadline < b->deadline;
    return a->sequence < b->sequence;
}

void TimerHeap::place(size_t slot, TimerEntry* entry) {
    m_heap[slot] = entry;
    entry->slot = slot;
}

void TimerHeap::insert(TimerEntry& entry, Deadline deadline) {
    cancel(entry);
    entry.deadline = deadline;
    entry.sequence = m_nextSequence++;
    m_heap.push_back(&entry);
    entry.slot = m_heap.size() - 1;
    siftUp(entry.slot);
}

void TimerHeap::cancel(TimerEntry& entry) {
    if (entry.queued()) removeAt(entry.slot);
}

TimerEntry* TimerHeap::popDue(Deadline now) {
    if (m_heap.empty() || m_heap.front()->deadline > now) return nullptr;
    TimerEntry* due = m_heap.front();
    removeAt(0);
    return due;
}

void TimerHeap::removeAt(size_t slot) {
    TimerEntry* removed = m_heap[slot];
    TimerEntry* last = m_heap.back();
    m_heap.pop_back();
    removed->slot = TimerEntry::kNotQueued;
    if (slot == m_heap.size()) return;
    place(slot, last);
    siftUp(slot);
    siftDown(last->slot);
}

void TimerHeap::siftUp(size_t slot) {
    TimerEntry* entry = m_heap[slot];
    while (slot > 0) {
        const size_t parent = (slot - 1) / 2;
        if (!earlier(entry, m_heap[parent])) break;
        place(slot, m_heap[parent]);
        slot = parent;
    }
    place(slot, entry);
}

void TimerHeap::siftDown(size_t slot) {
    TimerEntry* entry = m_heap[slot];
    const size_t count = m_heap.size();
    for (;;) {
        size_t child = 2 * slot + 1;
        if (child >= count) break;
        if (child + 1 < count && earlier(m_heap[child + 1], m_heap[child])) ++child;
        if (!earlier(m_heap[child], entry)) break;
        place(slot, m_heap[child]);
        slot = child;
    }
    place(slot, entry);
}

}  // namespace velk::loop
