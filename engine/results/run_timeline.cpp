#include "results/run_timeline.h"

#include <algorithm>
#include <chrono>

#include "results/saturating.h"

namespace velk {

void RunTimeline::start(const Sources& sources) {
    stop();
    m_sources = sources;
    m_points.clear();
    m_bucketMs = kSampleMs;
    m_samplesInLast = 0;
    m_lastRequests = sources.requests ? sources.requests->load(std::memory_order_relaxed) : 0;
    m_lastErrors = 0;
    for (const auto* e : sources.errors)
        if (e) m_lastErrors += e->load(std::memory_order_relaxed);
    {
        MutexLock lock(m_mutex);
        m_stopping = false;
    }
    m_thread = std::thread([this] { sampleLoop(); });
}

void RunTimeline::stop() {
    if (!m_thread.joinable()) return;
    {
        MutexLock lock(m_mutex);
        m_stopping = true;
    }
    m_wake.signalAll();
    m_thread.join();
    sampleNow();
}

void RunTimeline::sampleLoop() {
    auto next = std::chrono::steady_clock::now();
    for (;;) {
        next += std::chrono::milliseconds(kSampleMs);
        if (stopRequestedBy(next)) return;
        sampleNow();
    }
}

bool RunTimeline::stopRequestedBy(std::chrono::steady_clock::time_point deadline) {
    MutexLock lock(m_mutex);
    while (!m_stopping && m_wake.waitUntil(m_mutex, deadline)) {
    }
    return m_stopping;
}

void RunTimeline::sampleNow() {
    if (m_sources.latency) m_sources.latency->publishSecond();
    int32_t errors = 0;
    for (const auto* e : m_sources.errors)
        if (e) errors += e->load(std::memory_order_relaxed);
    addSample(m_sources.requests ? m_sources.requests->load(std::memory_order_relaxed) : 0, errors,
              m_sources.usersActive ? m_sources.usersActive->load(std::memory_order_relaxed) : 0);
}

void RunTimeline::addSample(int32_t requestsTotal, int32_t errorsTotal, int32_t usersActive) {
    if (m_points.empty() || m_samplesInLast >= m_bucketMs / kSampleMs) {
        if (m_points.size() >= kMaxPoints) fold();
        if (m_points.empty() || m_samplesInLast >= m_bucketMs / kSampleMs) {
            m_points.emplace_back();
            m_samplesInLast = 0;
        }
    }
    TimelinePoint& p = m_points.back();
    p.requests += std::max(0, requestsTotal - m_lastRequests);
    p.errors += std::max(0, errorsTotal - m_lastErrors);
    p.usersActive = std::max(p.usersActive, usersActive);
    ++m_samplesInLast;
    m_lastRequests = requestsTotal;
    m_lastErrors = errorsTotal;
}

void RunTimeline::fold() {
    // Pairs become one point twice as long; an odd last point stays the last,
    // half full, and takes the samples that follow.
    const size_t whole = m_points.size() / 2;
    const bool odd = m_points.size() % 2 != 0;
    for (size_t i = 0; i < whole; ++i) {
        const TimelinePoint& a = m_points[2 * i];
        const TimelinePoint& b = m_points[2 * i + 1];
        m_points[i] = {addSaturated32(a.requests, b.requests), addSaturated32(a.errors, b.errors),
                       std::max(a.usersActive, b.usersActive)};
    }
    const int32_t perOld = m_bucketMs / kSampleMs;
    if (odd) m_points[whole] = m_points.back();
    m_points.resize(whole + (odd ? 1 : 0));
    m_bucketMs *= 2;
    // An even count leaves the last point full; an odd one leaves it at the
    // samples of its old span.
    m_samplesInLast = odd ? std::min(m_samplesInLast, perOld) : m_bucketMs / kSampleMs;
}

void RunTimeline::absorb(int32_t bucketMs, std::vector<TimelinePoint> points) {
    // Pairs of points become one twice as long until both spans agree.
    const auto halve = [](std::vector<TimelinePoint>& p) {
        for (size_t i = 0; i < p.size(); i += 2) {
            const TimelinePoint b = i + 1 < p.size() ? p[i + 1] : TimelinePoint{};
            p[i / 2] = {addSaturated32(p[i].requests, b.requests),
                        addSaturated32(p[i].errors, b.errors),
                        std::max(p[i].usersActive, b.usersActive)};
        }
        p.resize((p.size() + 1) / 2);
    };
    if (m_points.empty()) m_bucketMs = bucketMs;
    while (m_bucketMs < bucketMs) {
        halve(m_points);
        m_bucketMs *= 2;
    }
    while (bucketMs < m_bucketMs) {
        halve(points);
        bucketMs *= 2;
    }
    if (points.size() > m_points.size()) m_points.resize(points.size());
    // The processes' users are distinct: their counts add up.
    for (size_t i = 0; i < points.size(); ++i) {
        TimelinePoint& p = m_points[i];
        p.requests = addSaturated32(p.requests, points[i].requests);
        p.errors = addSaturated32(p.errors, points[i].errors);
        p.usersActive = addSaturated32(p.usersActive, points[i].usersActive);
    }
    while (m_points.size() > kMaxPoints) {
        halve(m_points);
        m_bucketMs *= 2;
    }
    m_samplesInLast = m_bucketMs / kSampleMs;
}

}  // namespace velk
