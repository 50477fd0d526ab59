#pragma once
// LiveLatency: response times of a run in progress, second by second, for a
// host's live view.  Users add each timed response to a fixed set of atomic
// counters (one relaxed increment, no lock, no allocation); the timeline's
// sampler takes the difference from its previous look once a second and
// publishes that second's 50th, 95th and 99th percentiles as atomics that any
// thread may read.
//
// Buckets are log-linear: eight to each power of two of microseconds, so a
// percentile is within 6.25% of the true time (the middle of its bucket).
// Memory is fixed (kBuckets counters and one copy for the sampler).
//
// Threads: record() from any user thread; publishSecond() and clear() from
// the sampler's or the driver's thread, one at a time; lastSecond() from any.
#include <array>
#include <atomic>
#include <cstdint>

namespace velk {

class LiveLatency {
public:
    static constexpr int kSubBits = 3;
    static constexpr int kSub = 1 << kSubBits;
    // Up to 2^31 microseconds: exponents kSubBits to 30 with kSub buckets each.
    static constexpr int kBuckets = kSub + (31 - kSubBits) * kSub;

    struct Second {
        int32_t timed = 0;  // responses timed in the second
        // Milliseconds; 0 when nothing was timed.
        double p50Ms = 0, p95Ms = 0, p99Ms = 0;
    };

    // A timed response of micros microseconds (negative ones are ignored).
    void record(int64_t micros);
    // Forgets counts and the last second (before a run).
    void clear();
    // Ends a second: its figures become lastSecond().
    void publishSecond();
    Second lastSecond() const;

    static int bucketOf(int64_t micros);
    // The middle of a bucket, in microseconds.
    static double bucketMiddle(int bucket);
    // The percentile (0..100) of counts, in microseconds; 0 for no counts.
    static double percentile(const std::array<uint32_t, kBuckets>& counts, uint64_t total,
                             double p);

private:
    std::array<std::atomic<uint32_t>, kBuckets> m_counts{};
    std::array<uint32_t, kBuckets> m_seen{};  // the sampler's previous look
    std::atomic<int32_t> m_lastTimed{0};
    std::atomic<int64_t> m_lastP50{0}, m_lastP95{0}, m_lastP99{0};  // nanoseconds
};

}  // namespace velk
