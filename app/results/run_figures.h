#pragma once
// RunFigures: what the summary, the HTML report and the thresholds are made
// of: totals, response-time figures per request and for the run, and the
// per-second timeline.  velkrun reads them from the engine after a run; the
// desktop program builds them from a pass's figures (pass_export.h).  Plain
// data; built on the main thread.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "velkcore.h"

namespace velk::results {

struct RequestFigures {
    std::string name;  // "" for all requests together
    VelkLatencyStats stats{};

    int64_t errorTotal() const;
    // Results recorded: timed responses and errors.
    int64_t results() const { return stats.count + errorTotal(); }
};

struct RunFigures {
    std::string testName;
    int64_t startTime = 0;  // seconds since 1970
    int64_t endTime = 0;
    int64_t durationMs = 0;
    int32_t users = 0;
    int32_t iterations = 0;  // -1: a script drives the test
    int64_t httpRequests = 0;
    // HTTP requests sent per second as the text report gives them: while every
    // user ran, or over the whole run (httpRateOverWholeRun) when that span was
    // too short; below 0 without summary times (summarytimes=0).
    double httpRequestsPerSecond = -1;
    bool httpRateOverWholeRun = false;
    uint64_t bytesSent = 0;
    uint64_t bytesReceived = 0;
    std::vector<std::pair<int, int32_t>> statusCodes;  // code, count; counts above 0
    RequestFigures overall;
    std::vector<RequestFigures> requests;
    int32_t spanMs = 1000;
    std::vector<VelkTimelinePoint> timeline;
    // How late the engine's event loops were (none when users had threads),
    // all loops together, and the engine's warning when that distorted times.
    std::vector<VelkLoopLag> loopLag;
    VelkLoopLag allLoopsLag{};
    std::string lagWarning;
    // Requests the script defines that no sequence made: a threshold on one
    // says so rather than "no such request".
    std::vector<std::string> untimedRequests;

    // Results per second of the run's duration (0 without a duration).
    double perSecond(const RequestFigures& r) const;
};

// The percentiles the engine gives, as labels: "p50", ..., "p99.9".
extern const char* const kPercentileNames[VELK_PERCENTILE_COUNT];

// HTTP requests sent per second as the text report gives them ("Total average
// requests per second"): over the span in which every user ran, or over the
// whole run when that span was too short (the report's approximation).
struct HttpRate {
    double perSecond = -1;  // below 0 without summary times (summarytimes=0)
    bool overWholeRun = false;
};

HttpRate readHttpRate(TestSet* set);

// "2026-12-08T15:04:05Z".
std::string isoTime(int64_t secondsSince1970);

}  // namespace velk::results
