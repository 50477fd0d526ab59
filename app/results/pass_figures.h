#pragma once
// PassFigures: the figures of one pass, as the closing line, the JSON summary,
// the HTML report, the thresholds, the Summary page and the .rlt trailer tell
// them.  Read from the engine once per pass (collectFigures): the response-time
// figures and timeline of one collected pass,
// as the engine gives them after the run (GetLatencyStats, GetTimeline): per
// request name and overall, the count, errors by class, minimum, mean,
// percentiles and maximum, and for paced runs the same from each request's
// intended start; the requests, errors and users of each span of the run; and
// the run's totals (status codes, traffic, times, event-loop lag).
//
// They travel in a results file as trailing data after the records, which a
// reader that does not know them skips (rlt_file.h); a file without them
// gives records without figures.
//
// Plain data and pure functions; safe from any thread.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "velkcore.h"

namespace velk::results {

struct LatencyFigures {
    std::string name;  // the request name, "" for all requests
    int64_t count = 0;
    std::array<int64_t, 4> errors{};  // network, HTTP, failed check, time-out
    double minMs = 0, meanMs = 0, maxMs = 0, stddevMs = 0;
    std::array<double, VELK_PERCENTILE_COUNT> percentilesMs{};  // 50, 90, 95, 99, 99.9
    int32_t paced = 0;
    int64_t intendedCount = 0;
    double intendedMaxMs = 0;
    std::array<double, VELK_PERCENTILE_COUNT> intendedPercentilesMs{};
    bool operator==(const LatencyFigures&) const = default;

    int64_t errorTotal() const { return errors[0] + errors[1] + errors[2] + errors[3]; }
    // Results recorded: timed responses and errors.
    int64_t results() const { return count + errorTotal(); }
};

struct TimelineSpan {
    int32_t requests = 0, errors = 0, usersActive = 0;
    bool operator==(const TimelineSpan&) const = default;
};

// How late an event loop resumed its users once they could go on.
struct LoopLagFigures {
    int64_t samples = 0;
    double p50Ms = 0, p99Ms = 0, maxMs = 0;
    bool operator==(const LoopLagFigures&) const = default;
};

// The pass as a whole (GetRunTotals, GetInfo, GetLoopLag, GetLagWarning):
// what the JSON summary and the HTML report tell besides the response times.
struct RunTotals {
    std::string testName;   // the project name, as the report names the test
    int64_t startTime = 0;  // seconds since 1970
    int64_t endTime = 0;
    int64_t durationMs = 0;
    int32_t users = 0;
    int32_t iterations = 0;    // -1: a script drives the test
    int64_t httpRequests = 0;  // sent, redirects included
    uint64_t bytesSent = 0;
    uint64_t bytesReceived = 0;
    std::vector<std::pair<int32_t, int32_t>> statusCodes;  // code, count; ascending, counts above 0
    std::vector<LoopLagFigures> loopLag;  // per event loop; none when users had threads
    LoopLagFigures allLoopsLag;
    std::string lagWarning;  // the engine's warning when the lag distorted times
    // HTTP requests sent per second as the text report gives them, over the
    // whole run when the report had to approximate; below 0 when not known
    // (summarytimes=0, or a file written before they were kept).
    double httpRequestsPerSecond = -1;
    bool httpRateOverWholeRun = false;
    bool operator==(const RunTotals&) const = default;
};

struct PassFigures {
    std::vector<LatencyFigures> requests;  // in test-sequence order
    LatencyFigures overall;
    int32_t spanMs = 1000;
    std::vector<TimelineSpan> timeline;
    // None for a pass read from a file written before they were kept.
    std::optional<RunTotals> totals;
    bool operator==(const PassFigures&) const = default;

    // The totals, or empty ones (no times, no traffic) when the pass has none.
    const RunTotals& run() const;
    // Results per second of the run's duration (0 without a duration).
    double perSecond(const LatencyFigures& r) const;
};

// What a results file may hold of them (past it the trailer is refused).
struct PassFiguresLimits {
    static constexpr int32_t kMaxRequests = 10000;
    static constexpr size_t kMaxNameBytes = 65535;
    static constexpr int32_t kMaxSpans = 100000;
    static constexpr size_t kMaxTestNameBytes = 255;
    static constexpr size_t kMaxWarningBytes = 4095;
    static constexpr int32_t kMaxLoops = 4096;
    // A time a run can have: from 1970 to the end of year 9999.
    static constexpr int64_t kMaxTime = 253402300799;
    // Most results (or errors of one class) one request may count: far beyond
    // any run, exact as a double, and small enough that a count and its four
    // error classes add up without overflow.
    static constexpr int64_t kMaxCount = int64_t(1) << 53;
};

// The figures of the pass that set ran last, read once after the run: its
// totals and response times, or nothing when the engine has no results.  Call
// where collectPass is called.
std::optional<PassFigures> collectFigures(TestSet* set);
// Whether they time named requests, the figures a results file keeps (a
// script-driven pass has none).
bool timesRequests(const PassFigures& figures);
// Its parts: the response times and timeline (false when the engine cannot
// give them), the totals, and of those only the event loops' lag.
bool collectLatency(TestSet* set, PassFigures& figures);
std::optional<RunTotals> collectTotals(TestSet* set);
void collectLoopLag(TestSet* set, RunTotals& totals);

// The percentiles the engine gives, as labels: "p50", ..., "p99.9".
extern const char* const kPercentileNames[VELK_PERCENTILE_COUNT];

// "2026-12-08T15:04:05Z".
std::string isoTime(int64_t secondsSince1970);

inline constexpr const char* kNoPercentiles = "No percentiles in this file";

}  // namespace velk::results
