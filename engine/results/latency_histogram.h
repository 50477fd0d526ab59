#pragma once
// LatencyHistogram: response times in microseconds, counted in log-linear
// buckets so that percentiles come out within 1% of the exact value while the
// memory stays fixed whatever the number of requests.
//
// Values below 128 µs are kept exactly; above, every power of two is split into
// 64 buckets of equal width, so a bucket is at most 1/64 of its lower bound wide
// and its midpoint is within 0.8% of any value in it.  A power of two's buckets
// are allocated the first time a value falls in it (at most 35 times in a
// histogram's life), so a user whose times span a few octaves holds a few KiB.
// Exact minimum, maximum, sum and sum of squares ride along for the other figures.
//
// Not thread-safe: each virtual user records into its own histograms; they are
// merged after the run.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace velk {

class LatencyHistogram {
public:
    // Largest value kept apart (about 12 days); larger ones count as this.
    static constexpr int64_t kMaxValue = (int64_t(1) << 40) - 1;

    LatencyHistogram() = default;
    LatencyHistogram(LatencyHistogram&&) noexcept = default;
    LatencyHistogram& operator=(LatencyHistogram&&) noexcept = default;
    LatencyHistogram(const LatencyHistogram&) = delete;
    LatencyHistogram& operator=(const LatencyHistogram&) = delete;

    // Counts one value (negative values count as 0).
    void record(int64_t micros) { recordCount(micros, 1); }
    void recordCount(int64_t micros, int64_t count);
    // Adds every value of other, as if each had been recorded here.
    void merge(const LatencyHistogram& other);

    int64_t count() const { return m_count; }
    int64_t minimum() const { return m_count ? m_min : 0; }
    int64_t maximum() const { return m_max; }
    double mean() const;
    // Population standard deviation.
    double standardDeviation() const;
    // The value at or below which `percent` of the values lie (0 < percent <= 100),
    // as the midpoint of its bucket kept within minimum and maximum; 0 when empty.
    double percentile(double percent) const;

    // The whole content, for moving a histogram to another process: the counted
    // buckets (index: group * 128 + bucket) and the exact figures.
    struct State {
        int64_t count = 0;
        int64_t minimum = 0;
        int64_t maximum = 0;
        double sum = 0;
        double sumSquares = 0;
        std::vector<std::pair<int32_t, int64_t>> buckets;  // index, count above 0
    };
    State state() const;
    // Rebuilds a histogram from a state that may come from a damaged file: false,
    // with out unchanged, when an index is out of range, a count is not above 0,
    // the counts do not add up or the figures are impossible.
    static bool fromState(const State& state, LatencyHistogram& out);

private:
    static constexpr int kExactValues = 128;
    static constexpr int kSubBuckets = 64;
    static constexpr int kGroups = 35;  // the exact values, then powers of two up to 2^40

    std::array<std::unique_ptr<int64_t[]>, kGroups> m_groups;
    int64_t m_count = 0;
    int64_t m_min = 0;
    int64_t m_max = 0;
    double m_sum = 0;
    double m_sumSquares = 0;
};

}  // namespace velk
