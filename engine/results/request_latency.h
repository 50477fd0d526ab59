#pragma once
// RequestLatency: what one user measured for one test-sequence position, or,
// merged after the run, for one request name or the whole run: response times,
// the same times measured from each request's intended start, and errors by class.
//
// The intended start matters when requests are paced (`rate`): a user sends its
// next request an interval after the previous one started.  A server that stalls
// makes the user late, and the requests it would have sent meanwhile are never
// sent, so their waits never show among the plain times (coordinated omission).
// The second histogram counts the late request from when it should have started,
// and for each further interval the stall covered, the request the schedule
// missed, from its own intended start.
//
// Not thread-safe: each user records into its own; merged after the run.
#include <array>
#include <cstdint>
#include <utility>

#include "results/latency_histogram.h"

namespace velk {

class RequestLatency {
public:
    // Most missed requests counted for one stalled request: a stall of hours at
    // a millisecond interval stays cheap to record.
    static constexpr int64_t kMaxMissed = 100000;

    // One result: a time in microseconds or a negative error class.  elapsedUs is
    // how long the request really took; latenessUs how far after its intended
    // start it began; intervalUs the pacing interval (0: this one not paced).
    // Outside paced runs (paced false) the intended-start histogram stays empty.
    RequestLatency() = default;
    // Rebuilt from the parts of one moved from another process.
    RequestLatency(LatencyHistogram times, LatencyHistogram intended,
                   const std::array<int64_t, 4>& errors)
        : m_times(std::move(times)), m_intended(std::move(intended)), m_errors(errors) {}

    void record(int32_t result, int64_t elapsedUs, int64_t latenessUs, int64_t intervalUs,
                bool paced = true);
    void merge(const RequestLatency& other);

    const LatencyHistogram& times() const { return m_times; }
    const LatencyHistogram& intended() const { return m_intended; }
    // Network, HTTP, failed check, time-out.
    const std::array<int64_t, 4>& errors() const { return m_errors; }
    int64_t errorTotal() const { return m_errors[0] + m_errors[1] + m_errors[2] + m_errors[3]; }

private:
    LatencyHistogram m_times;
    LatencyHistogram m_intended;
    std::array<int64_t, 4> m_errors{};
};

}  // namespace velk
