#include "results/latency_histogram.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "results/saturating.h"

namespace velk {
namespace {

// The group of a value and its bucket in the group.
struct Slot {
    int group;
    int bucket;
};

Slot slotOf(int64_t v) {
    if (v < 128) return {0, int(v)};
    const int shift = std::bit_width(uint64_t(v)) - 7;  // 1 for 128..255
    return {shift, int((v >> shift) - 64)};
}

// Midpoint of a bucket.
double valueOf(int group, int bucket) {
    if (group == 0) return bucket;
    const double low = double(int64_t(bucket + 64) << group);
    return low + (double(int64_t(1) << group) - 1) / 2;
}

}  // namespace

void LatencyHistogram::recordCount(int64_t micros, int64_t count) {
    if (count <= 0) return;
    const int64_t v = std::clamp<int64_t>(micros, 0, kMaxValue);
    const Slot s = slotOf(v);
    auto& group = m_groups[size_t(s.group)];
    if (!group) group = std::make_unique<int64_t[]>(s.group == 0 ? kExactValues : kSubBuckets);
    group[size_t(s.bucket)] += count;
    if (m_count == 0 || v < m_min) m_min = v;
    if (v > m_max) m_max = v;
    m_count += count;
    m_sum += double(v) * double(count);
    m_sumSquares += double(v) * double(v) * double(count);
}

void LatencyHistogram::merge(const LatencyHistogram& other) {
    if (other.m_count == 0) return;
    for (int g = 0; g < kGroups; ++g) {
        const auto& from = other.m_groups[size_t(g)];
        if (!from) continue;
        const int buckets = g == 0 ? kExactValues : kSubBuckets;
        auto& to = m_groups[size_t(g)];
        if (!to) to = std::make_unique<int64_t[]>(size_t(buckets));
        for (int b = 0; b < buckets; ++b)
            to[size_t(b)] = addSaturated(to[size_t(b)], from[size_t(b)]);
    }
    if (m_count == 0 || other.m_min < m_min) m_min = other.m_min;
    m_max = std::max(m_max, other.m_max);
    m_count = addSaturated(m_count, other.m_count);
    m_sum += other.m_sum;
    m_sumSquares += other.m_sumSquares;
}

double LatencyHistogram::mean() const {
    return m_count ? m_sum / double(m_count) : 0;
}

double LatencyHistogram::standardDeviation() const {
    if (m_count == 0) return 0;
    const double mean = m_sum / double(m_count);
    return std::sqrt(std::max(0.0, m_sumSquares / double(m_count) - mean * mean));
}

double LatencyHistogram::percentile(double percent) const {
    if (m_count == 0) return 0;
    const double wanted = std::ceil(std::clamp(percent, 0.0, 100.0) / 100.0 * double(m_count));
    const int64_t rank = std::clamp<int64_t>(int64_t(wanted), 1, m_count);
    // The ends are known exactly.
    if (rank == m_count) return double(m_max);
    if (rank == 1) return double(m_min);
    int64_t seen = 0;
    for (int g = 0; g < kGroups; ++g) {
        const auto& group = m_groups[size_t(g)];
        if (!group) continue;
        const int buckets = g == 0 ? kExactValues : kSubBuckets;
        for (int b = 0; b < buckets; ++b) {
            seen += group[size_t(b)];
            if (seen >= rank) return std::clamp(valueOf(g, b), double(m_min), double(m_max));
        }
    }
    return double(m_max);
}

LatencyHistogram::State LatencyHistogram::state() const {
    State s{m_count, m_min, m_max, m_sum, m_sumSquares, {}};
    for (int g = 0; g < kGroups; ++g) {
        const auto& group = m_groups[size_t(g)];
        if (!group) continue;
        const int buckets = g == 0 ? kExactValues : kSubBuckets;
        for (int b = 0; b < buckets; ++b)
            if (group[size_t(b)] > 0)
                s.buckets.emplace_back(g * kExactValues + b, group[size_t(b)]);
    }
    return s;
}

bool LatencyHistogram::fromState(const State& s, LatencyHistogram& out) {
    LatencyHistogram h;
    int64_t total = 0;
    for (const auto& [index, count] : s.buckets) {
        const int g = index / kExactValues;
        const int b = index % kExactValues;
        if (index < 0 || g >= kGroups || (g > 0 && b >= kSubBuckets)) return false;
        if (count <= 0 || count > INT64_MAX - total) return false;
        auto& group = h.m_groups[size_t(g)];
        if (!group) group = std::make_unique<int64_t[]>(g == 0 ? kExactValues : kSubBuckets);
        group[size_t(b)] += count;
        total += count;
    }
    if (total != s.count) return false;
    if (s.count > 0 && (s.minimum < 0 || s.minimum > s.maximum || s.maximum > kMaxValue))
        return false;
    if (!std::isfinite(s.sum) || !std::isfinite(s.sumSquares) || s.sum < 0 || s.sumSquares < 0)
        return false;
    h.m_count = s.count;
    h.m_min = s.count ? s.minimum : 0;
    h.m_max = s.count ? s.maximum : 0;
    h.m_sum = s.sum;
    h.m_sumSquares = s.sumSquares;
    out = std::move(h);
    return true;
}

}  // namespace velk
