#pragma once
// The measurements of a finished run that the statistics and the report read:
// per user its results and traffic, per run its times and shared counters.
//
// Filled by the run (each user writes only its own UserRecord; the shared
// counters are atomic); read-only once the run has ended.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "results/request_latency.h"
#include "results/user_results.h"

namespace velk {

struct UserRecord {
    int64_t startTick = 0;  // monotonic milliseconds
    int64_t endTick = 0;
    int32_t requestsMade = 0;  // requests and redirects sent
    int32_t sentAtStart = 0;   // the run's HTTP requests counter when the user began
    int32_t sentAtEnd = 0;     // ... and when it ended
    uint64_t bytesSent = 0;
    uint64_t bytesReceived = 0;
    double sendTimeMs = 0;
    double receiveTimeMs = 0;
    bool started = false;  // the user got as far as its first pass
    // The process whose request counter sentAtStart and sentAtEnd read: 0 here,
    // another number for each process whose results were brought in.
    int32_t counterDomain = 0;
    UserResults results;
    // Response-time figures per test-sequence position, whatever the results mode.
    std::vector<RequestLatency> latency;
};

// Error classes counted by users of an aggregated (nodetails) run.
struct ErrorCounters {
    std::atomic<int32_t> http{0}, network{0}, fail{0}, timeout{0};
    void clear() {
        http = 0;
        network = 0;
        fail = 0;
        timeout = 0;
    }
    // Release: whoever reads a count with acquire also sees what the user did
    // before counting (the live request count is raised first).
    void count(int32_t result) {
        switch (result) {
            case kResultHttp:
                http.fetch_add(1, std::memory_order_release);
                break;
            case kResultNetwork:
                network.fetch_add(1, std::memory_order_release);
                break;
            case kResultFail:
                fail.fetch_add(1, std::memory_order_release);
                break;
            case kResultTimeout:
                timeout.fetch_add(1, std::memory_order_release);
                break;
            default:
                break;
        }
    }
};

struct RunTimes {
    int64_t wallStart = 0;  // seconds since 1970
    int64_t wallEnd = 0;
    int64_t startTick = 0;  // monotonic milliseconds at the start
    int64_t durationMs = 0;
};

}  // namespace velk
