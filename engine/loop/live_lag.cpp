#include "loop/live_lag.h"

namespace velk::loop {

void LiveLag::Slot::record(int64_t micros) {
    if (micros < 0) micros = 0;
    samples.fetch_add(1, std::memory_order_relaxed);
    sumMicros.fetch_add(micros, std::memory_order_relaxed);
    for (int i = 0; i < kBounds; ++i) {
        if (micros <= kBoundsMicros[size_t(i)]) {
            // Release: whoever sees this sample in a bucket sees it counted.
            within[size_t(i)].fetch_add(1, std::memory_order_release);
            return;
        }
    }
}

void LiveLag::clear() {
    for (Slot& s : m_slots) {
        s.samples.store(0, std::memory_order_relaxed);
        s.sumMicros.store(0, std::memory_order_relaxed);
        for (auto& w : s.within) w.store(0, std::memory_order_relaxed);
    }
}

LiveLag::Totals LiveLag::totals() const {
    Totals t;
    for (const Slot& s : m_slots) {
        // The buckets are read before the count, so no bucket counts a sample
        // that the count does not (a scraper must never see +Inf below a bucket).
        int64_t below = 0;
        for (int i = 0; i < kBounds; ++i) {
            below += s.within[size_t(i)].load(std::memory_order_acquire);
            t.atMost[size_t(i)] += below;
        }
        t.sumMicros += s.sumMicros.load(std::memory_order_relaxed);
        t.samples += s.samples.load(std::memory_order_relaxed);
    }
    return t;
}

}  // namespace velk::loop
