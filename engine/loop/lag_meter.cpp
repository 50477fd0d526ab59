#include "loop/lag_meter.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace velk::loop {

int LagMeter::bucketOf(int64_t micros) {
    const auto v = uint64_t(std::max<int64_t>(micros, 0));
    constexpr uint64_t kLinear = uint64_t(1) << kSubBits;
    if (v < kLinear) return int(v);
    const int exponent = 63 - std::countl_zero(v);  // at least kSubBits
    const auto sub = int((v >> (exponent - kSubBits)) & (kLinear - 1));
    return ((exponent - kSubBits + 1) << kSubBits) + sub;
}

int64_t LagMeter::bucketTop(int b) {
    constexpr int kLinear = 1 << kSubBits;
    if (b < kLinear) return b;
    const int exponent = (b >> kSubBits) + kSubBits - 1;
    const int sub = b & (kLinear - 1);
    const uint64_t low = (uint64_t(kLinear + sub)) << (exponent - kSubBits);
    const uint64_t width = uint64_t(1) << (exponent - kSubBits);
    const uint64_t top = low + width - 1;
    return top > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(top);
}

void LagMeter::record(int64_t micros) {
    if (micros < 0) micros = 0;
    ++m_counts[size_t(bucketOf(micros))];
    ++m_samples;
    m_max = std::max(m_max, micros);
}

void LagMeter::merge(const LagMeter& other) {
    for (size_t i = 0; i < m_counts.size(); ++i) m_counts[i] += other.m_counts[i];
    m_samples += other.m_samples;
    m_max = std::max(m_max, other.m_max);
}

int64_t LagMeter::quantileMicros(double q) const {
    if (m_samples == 0) return 0;
    const auto rank = std::max<int64_t>(1, int64_t(std::ceil(q * double(m_samples))));
    int64_t seen = 0;
    for (int b = 0; b < kBuckets; ++b) {
        seen += m_counts[size_t(b)];
        if (seen >= rank) return std::min(bucketTop(b), m_max);
    }
    return m_max;
}

LagSummary LagMeter::summary() const {
    return {m_samples, quantileMicros(0.50), quantileMicros(0.99), m_max};
}

}  // namespace velk::loop
