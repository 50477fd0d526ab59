#include "results/live_latency.h"

#include <bit>

namespace velk {

int LiveLatency::bucketOf(int64_t micros) {
    if (micros < kSub) return int(micros < 0 ? 0 : micros);
    if (micros >= (int64_t(1) << 31)) return kBuckets - 1;
    const int exponent = std::bit_width(uint64_t(micros)) - 1;  // kSubBits..30
    const int sub = int(micros >> (exponent - kSubBits)) & (kSub - 1);
    return kSub + (exponent - kSubBits) * kSub + sub;
}

double LiveLatency::bucketMiddle(int bucket) {
    if (bucket < kSub) return bucket;
    const int exponent = (bucket - kSub) / kSub + kSubBits;
    const int sub = (bucket - kSub) % kSub;
    const double width = double(int64_t(1) << (exponent - kSubBits));
    return double(kSub + sub) * width + width / 2;
}

void LiveLatency::record(int64_t micros) {
    if (micros < 0) return;
    // Wraps only after 4 billion responses in one bucket between two looks;
    // the sampler's difference is taken modulo 2^32 as well.
    m_counts[size_t(bucketOf(micros))].fetch_add(1, std::memory_order_relaxed);
}

void LiveLatency::clear() {
    for (auto& c : m_counts) c.store(0, std::memory_order_relaxed);
    m_seen.fill(0);
    m_lastTimed.store(0);
    m_lastP50.store(0);
    m_lastP95.store(0);
    m_lastP99.store(0);
}

double LiveLatency::percentile(const std::array<uint32_t, kBuckets>& counts, uint64_t total,
                               double p) {
    if (total == 0) return 0;
    // The smallest bucket at which at least p percent of the counts lie.
    const double wanted = p / 100 * double(total);
    uint64_t below = 0;
    for (int b = 0; b < kBuckets; ++b) {
        below += counts[size_t(b)];
        if (below > 0 && double(below) >= wanted) return bucketMiddle(b);
    }
    return bucketMiddle(kBuckets - 1);
}

void LiveLatency::publishSecond() {
    std::array<uint32_t, kBuckets> second{};
    uint64_t total = 0;
    for (size_t b = 0; b < size_t(kBuckets); ++b) {
        const uint32_t now = m_counts[b].load(std::memory_order_relaxed);
        second[b] = now - m_seen[b];
        m_seen[b] = now;
        total += second[b];
    }
    const auto nanos = [&](double p) { return int64_t(percentile(second, total, p) * 1000); };
    m_lastP50.store(nanos(50), std::memory_order_relaxed);
    m_lastP95.store(nanos(95), std::memory_order_relaxed);
    m_lastP99.store(nanos(99), std::memory_order_relaxed);
    m_lastTimed.store(int32_t(total > uint64_t(INT32_MAX) ? INT32_MAX : total),
                      std::memory_order_release);
}

LiveLatency::Second LiveLatency::lastSecond() const {
    Second s;
    s.timed = m_lastTimed.load(std::memory_order_acquire);
    s.p50Ms = double(m_lastP50.load(std::memory_order_relaxed)) / 1e6;
    s.p95Ms = double(m_lastP95.load(std::memory_order_relaxed)) / 1e6;
    s.p99Ms = double(m_lastP99.load(std::memory_order_relaxed)) / 1e6;
    return s;
}

}  // namespace velk
