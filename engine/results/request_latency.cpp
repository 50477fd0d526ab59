#include "results/request_latency.h"

#include <algorithm>

#include "results/saturating.h"

namespace velk {

void RequestLatency::record(int32_t result, int64_t elapsedUs, int64_t latenessUs,
                            int64_t intervalUs, bool paced) {
    if (result < 0) {
        if (result >= -4) ++m_errors[size_t(-result - 1)];
        return;
    }
    m_times.record(result);
    if (!paced) return;
    m_intended.record(int64_t(result) + std::max<int64_t>(latenessUs, 0));
    if (intervalUs <= 0) return;
    // The next request starts late by what this one overran; the ones due after
    // that could not start before this one ended.
    int64_t missed = 0;
    for (int64_t due = 2 * intervalUs; due < elapsedUs && missed < kMaxMissed;
         due += intervalUs, ++missed)
        m_intended.record(elapsedUs - due);
}

void RequestLatency::merge(const RequestLatency& other) {
    m_times.merge(other.m_times);
    m_intended.merge(other.m_intended);
    for (size_t i = 0; i < m_errors.size(); ++i)
        m_errors[i] = addSaturated(m_errors[i], other.m_errors[i]);
}

}  // namespace velk
