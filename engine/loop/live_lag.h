#pragma once
// LiveLag: how late the event loops of a run resume their tasks, readable by a
// host while the run goes on (the loops' own LagMeter is theirs alone until
// they end).  Each loop writes to a slot of its own (loop index modulo
// kSlots), on a cache line of its own, so recording is a few relaxed
// increments that no other loop contends for; a reader adds the slots up.
//
// Threads: Slot::record() from one loop's thread per slot (more than kSlots
// loops share slots, still correctly: every update is atomic); totals() from
// any thread; clear() before a run, when no loop records.
#include <array>
#include <atomic>
#include <cstdint>

namespace velk::loop {

class LiveLag {
public:
    static constexpr int kSlots = 64;
    static constexpr int kBounds = 9;
    // Upper bounds of the histogram, in microseconds (a lag equal to a bound
    // counts under it).
    static constexpr std::array<int64_t, kBounds> kBoundsMicros{
        100, 500, 1000, 5000, 10000, 50000, 100000, 500000, 1000000};

    struct alignas(64) Slot {
        std::atomic<int64_t> samples{0};
        std::atomic<int64_t> sumMicros{0};
        std::array<std::atomic<int64_t>, kBounds> within{};  // not cumulative

        void record(int64_t micros);
    };

    struct Totals {
        int64_t samples = 0;
        int64_t sumMicros = 0;
        std::array<int64_t, kBounds> atMost{};  // cumulative, as a histogram's buckets
    };

    Slot& slot(size_t loopIndex) { return m_slots[loopIndex % kSlots]; }
    void clear();
    Totals totals() const;

private:
    std::array<Slot, kSlots> m_slots{};
};

}  // namespace velk::loop
