#pragma once
// How late one event loop ran its tasks: for every resumption, the time from
// when the task could have gone on (its readiness seen, its timer due, its
// yield) to when the loop actually resumed it.  A histogram with eight steps per
// power of two (under 13% relative error) keeps percentiles in fixed memory.
//
// Not thread-safe: written by the loop's thread, read once run() has returned.
#include <array>
#include <cstdint>

namespace velk::loop {

struct LagSummary {
    int64_t samples = 0;
    int64_t p50Micros = 0;
    int64_t p99Micros = 0;
    int64_t maxMicros = 0;
};

class LagMeter {
public:
    void record(int64_t micros);
    // Adds another meter's samples (several loops seen as one).
    void merge(const LagMeter& other);
    int64_t samples() const { return m_samples; }
    int64_t maxMicros() const { return m_max; }
    // The smallest bucket bound at or above the q-th fraction of the samples
    // (never more than the largest sample); 0 without samples.
    int64_t quantileMicros(double q) const;
    LagSummary summary() const;

    static constexpr int kSubBits = 3;
    static constexpr int kBuckets = (64 - kSubBits + 1) << kSubBits;
    static int bucketOf(int64_t micros);
    // The largest value that falls in bucket b.
    static int64_t bucketTop(int b);

private:
    std::array<int64_t, kBuckets> m_counts{};
    int64_t m_samples = 0;
    int64_t m_max = 0;
};

}  // namespace velk::loop
