#include "results/live_requests.h"

#include <algorithm>
#include <bit>

#include "base/result_codes.h"

namespace velk {

int64_t LiveRequests::boundMicros(int i) {
    // Even buckets end at a power of two, odd ones half-way to the next.
    const int exponent = 7 + i / 2;
    return i % 2 == 0 ? int64_t(1) << exponent : int64_t(3) << (exponent - 1);
}

int LiveRequests::bucketOf(int64_t micros) {
    if (micros < 128) return 0;
    const int exponent = std::bit_width(uint64_t(micros)) - 1;  // 7 and up
    const bool upperHalf = (micros >> (exponent - 1)) & 1;
    return std::min(2 * (exponent - 7) + (upperHalf ? 2 : 1), kBuckets);
}

void LiveRequests::prepare(const std::vector<std::string>& slotNames) {
    std::vector<std::string> names;
    std::vector<int> nameOfSlot;
    for (const std::string& name : slotNames) {
        auto it = std::find(names.begin(), names.end(), name);
        if (it != names.end()) {
            nameOfSlot.push_back(int(it - names.begin()));
        } else if (names.size() + 1 < size_t(kMaxNames)) {
            names.push_back(name);
            nameOfSlot.push_back(int(names.size() - 1));
        } else {
            if (names.size() < size_t(kMaxNames)) names.push_back(kOtherName);
            nameOfSlot.push_back(kMaxNames - 1);
        }
    }
    // A name past the limit may have found the one standing for the others.
    for (Counts& c : m_counts) {
        for (auto& r : c.results) r.store(0, std::memory_order_relaxed);
        c.timedSumMicros.store(0, std::memory_order_relaxed);
        for (auto& b : c.within) b.store(0, std::memory_order_relaxed);
    }
    m_nameOfSlot = std::move(nameOfSlot);
    MutexLock lock(m_mutex);
    m_names = std::move(names);
}

void LiveRequests::record(int name, int32_t result) {
    if (name < 0 || name >= kMaxNames) return;
    Counts& c = m_counts[size_t(name)];
    int outcome = 0;
    switch (result) {
        case kResultNetwork:
            outcome = 1;
            break;
        case kResultHttp:
            outcome = 2;
            break;
        case kResultFail:
            outcome = 3;
            break;
        case kResultTimeout:
            outcome = 4;
            break;
        default:
            if (result < 0) return;  // not executed
    }
    c.results[size_t(outcome)].fetch_add(1, std::memory_order_relaxed);
    if (outcome != 0) return;
    c.timedSumMicros.fetch_add(result, std::memory_order_relaxed);
    const int bucket = bucketOf(result);
    // Release: whoever sees the time in a bucket sees it counted as timed.
    if (bucket < kBuckets) c.within[size_t(bucket)].fetch_add(1, std::memory_order_release);
}

size_t LiveRequests::count() const {
    MutexLock lock(m_mutex);
    return m_names.size();
}

bool LiveRequests::read(size_t index, Reading& out) const {
    {
        MutexLock lock(m_mutex);
        if (index >= m_names.size()) return false;
        out.name = m_names[index];
    }
    const Counts& c = m_counts[index];
    int64_t below = 0;
    for (size_t i = 0; i < size_t(kBuckets); ++i) {
        below += c.within[i].load(std::memory_order_acquire);
        out.below[i] = below;
    }
    out.timedSumMicros = c.timedSumMicros.load(std::memory_order_relaxed);
    for (size_t i = 0; i < out.results.size(); ++i)
        out.results[i] = c.results[i].load(std::memory_order_relaxed);
    return true;
}

}  // namespace velk
