#pragma once
// RunTimeline: requests, errors and active users over a run, one point per
// second, taken by a sampler thread of its own that only reads the run's atomic
// counters (the users' request path is not touched).
//
// Each sample also ends a second of the live response times (LiveLatency).
//
// Memory is bounded: past kMaxPoints the points are folded pairwise and each
// point covers twice as long, so a week-long run keeps at most kMaxPoints.
//
// start() and stop() are called by the run driver's thread; points() and
// bucketMs() are read after stop().  The sampler alone touches the points while
// it runs (stop() joins it before reading them); m_mutex guards the stop request.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "base/cond_var.h"
#include "base/mutex.h"
#include "base/thread_annotations.h"
#include "results/live_latency.h"

namespace velk {

struct TimelinePoint {
    int32_t requests = 0;     // requests sent during the point's span
    int32_t errors = 0;       // errors recorded during it
    int32_t usersActive = 0;  // most users running at a sample of the span
};

class RunTimeline {
public:
    static constexpr size_t kMaxPoints = 3600;
    static constexpr int kSampleMs = 1000;

    // Counters the sampler reads; they must outlive stop().
    struct Sources {
        const std::atomic<int32_t>* requests = nullptr;
        const std::atomic<int32_t>* errors[4] = {};
        const std::atomic<int32_t>* usersActive = nullptr;
        // Told at each sample that a second has ended (may be null).
        LiveLatency* latency = nullptr;
    };

    RunTimeline() = default;
    ~RunTimeline() { stop(); }
    RunTimeline(const RunTimeline&) = delete;
    RunTimeline& operator=(const RunTimeline&) = delete;

    // Forgets earlier points and samples from now on, every kSampleMs.
    void start(const Sources& sources);
    // Takes a last sample for the time since the previous one and ends the sampler.
    void stop();

    // A sample read from the counters: counted into the current point.  For the
    // sampler, and for tests that feed samples without a thread.
    void addSample(int32_t requestsTotal, int32_t errorsTotal, int32_t usersActive);

    // Adds the points of another process's part of the same run (after stop()),
    // point by point from the shared start, at the longer of the two spans.
    void absorb(int32_t bucketMs, std::vector<TimelinePoint> points);

    const std::vector<TimelinePoint>& points() const { return m_points; }
    int32_t bucketMs() const { return m_bucketMs; }

private:
    void sampleLoop();
    // Waits for the stop request until deadline; true when it came.
    bool stopRequestedBy(std::chrono::steady_clock::time_point deadline) EXCLUDES(m_mutex);
    void sampleNow();
    void fold();

    Sources m_sources;
    std::thread m_thread;
    Mutex m_mutex;
    CondVar m_wake;
    bool m_stopping GUARDED_BY(m_mutex) = false;

    std::vector<TimelinePoint> m_points;
    int32_t m_bucketMs = kSampleMs;
    int32_t m_samplesInLast = 0;  // samples counted into the last point
    int32_t m_lastRequests = 0;
    int32_t m_lastErrors = 0;
};

}  // namespace velk
