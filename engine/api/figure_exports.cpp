// The run's figures for hosts: response-time statistics per request, run totals
// and the per-second timeline, read after RunTest has returned.
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "api/export_guard.h"
#include "api/report_source.h"
#include "api/test_set.h"
#include "base/message.h"
#include "loop/lag_meter.h"
#include "results/run_statistics.h"
#include "run/user_records.h"
#include "velkcore.h"

namespace {

constexpr double kPercentiles[VELK_PERCENTILE_COUNT] = {50, 90, 95, 99, 99.9};

using velk::Status;
using velk::StatusCode;

// These exports call any exception, running out of memory included, an
// internal failure.
template <class Body>
int32_t guardedFigures(const char* exportName, Body&& body) noexcept {
    return velk::api::guarded(exportName, int32_t(0), std::forward<Body>(body),
                              velk::api::MemoryMessage::kAsInternal);
}

Status haveResults(const TestSet* set) {
    if (set && set->rep.run) return Status::ok();
    return Status(StatusCode::kInvalid, "There are no results: the test has not run!\n");
}

void fill(const velk::RequestLatency& r, const char* name, bool paced, VelkLatencyStats& out) {
    const velk::LatencyHistogram& t = r.times();
    out = VelkLatencyStats{};
    out.name = name;
    out.count = t.count();
    for (size_t i = 0; i < 4; ++i) out.errors[i] = r.errors()[i];
    out.minMs = double(t.minimum()) / 1000;
    out.meanMs = t.mean() / 1000;
    out.maxMs = double(t.maximum()) / 1000;
    out.stddevMs = t.standardDeviation() / 1000;
    for (int i = 0; i < VELK_PERCENTILE_COUNT; ++i)
        out.percentilesMs[i] = t.percentile(kPercentiles[i]) / 1000;
    if (!paced) return;
    const velk::LatencyHistogram& in = r.intended();
    out.paced = 1;
    out.intendedCount = in.count();
    out.intendedMaxMs = double(in.maximum()) / 1000;
    for (int i = 0; i < VELK_PERCENTILE_COUNT; ++i)
        out.intendedPercentilesMs[i] = in.percentile(kPercentiles[i]) / 1000;
}

void fill(const velk::loop::LagMeter& meter, VelkLoopLag& out) {
    const velk::loop::LagSummary s = meter.summary();
    out.samples = s.samples;
    out.p50Ms = double(s.p50Micros) / 1000;
    out.p99Ms = double(s.p99Micros) / 1000;
    out.maxMs = double(s.maxMicros) / 1000;
}

// The loop with the largest p99 lag, when it is over the warning level; -1 else.
int latestLoop(const std::vector<velk::loop::LagMeter>& loops) {
    int worst = -1;
    int64_t worstP99 = int64_t(VELK_LAG_WARNING_MS * 1000);
    for (size_t i = 0; i < loops.size(); ++i) {
        const int64_t p99 = loops[i].quantileMicros(0.99);
        if (p99 > worstP99) {
            worst = int(i);
            worstP99 = p99;
        }
    }
    return worst;
}

}  // namespace

extern "C" {

int32_t GetLoopLagCount(TestSet* set) {
    if (!set || !set->rep.run) return 0;
    return int32_t(set->rep.run->loopLag.size());
}

int32_t GetLoopLag(TestSet* set, int32_t index, VelkLoopLag* lag) {
    if (!lag) return 0;
    return guardedFigures("GetLoopLag", [&]() -> Status {
        if (Status have = haveResults(set); !have) return have;
        const std::vector<velk::loop::LagMeter>& loops = set->rep.run->loopLag;
        if (loops.empty())
            return Status(StatusCode::kInvalid, "The last run had no event loops!\n");
        if (index == -1) {
            velk::loop::LagMeter all;
            for (const auto& meter : loops) all.merge(meter);
            fill(all, *lag);
            return Status::ok();
        }
        if (index < 0 || size_t(index) >= loops.size())
            return velk::invalidInput("There is no event loop %d in the results!\n", index);
        fill(loops[size_t(index)], *lag);
        return Status::ok();
    });
}

int32_t GetLagWarning(TestSet* set, char* buffer, int32_t capacity) {
    if (!buffer || capacity <= 0) return 0;
    buffer[0] = '\0';
    if (!set || !set->rep.run) return 0;
    const std::vector<velk::loop::LagMeter>& loops = set->rep.run->loopLag;
    const int worst = latestLoop(loops);
    if (worst < 0) return 0;
    const velk::loop::LagMeter& meter = loops[size_t(worst)];
    std::snprintf(buffer, size_t(capacity),
                  "Warning: the load generator was busy: event loop %d resumed its users up to "
                  "%.1f ms late (p99 %.1f ms), so response times and pauses include its own "
                  "delay. Use more loops (--threads), fewer users per process or lighter checks.",
                  worst, double(meter.maxMicros()) / 1000,
                  double(meter.quantileMicros(0.99)) / 1000);
    return 1;
}

int32_t GetUnresolvedHost(TestSet* set, char* buffer, int32_t capacity) {
    if (!buffer || capacity <= 0) return 0;
    buffer[0] = '\0';
    if (!set || !set->rep.run) return 0;
    const std::string host = set->rep.shared.httpCounters.unresolvedHost();
    if (host.empty()) return 0;
    std::snprintf(buffer, size_t(capacity), "%s", host.c_str());
    return 1;
}

int32_t GetLatencyStatsCount(TestSet* set) {
    if (!set || !set->rep.run) return 0;
    return guardedFigures("GetLatencyStatsCount",
                          [set] { return int32_t(set->rep.run->latency.names.size()); });
}

int32_t GetLatencyStats(TestSet* set, int32_t index, VelkLatencyStats* stats) {
    if (!stats) return 0;
    return guardedFigures("GetLatencyStats", [&]() -> Status {
        if (Status have = haveResults(set); !have) return have;
        const velk::RunLatency& latency = set->rep.run->latency;
        if (index == -1) {
            fill(latency.overall, "", latency.paced, *stats);
            return Status::ok();
        }
        if (index < 0 || size_t(index) >= latency.names.size())
            return velk::invalidInput("There is no request %d in the results!\n", index);
        fill(latency.requests[size_t(index)], latency.names[size_t(index)].c_str(), latency.paced,
             *stats);
        return Status::ok();
    });
}

int32_t GetRunTotals(TestSet* set, VelkRunTotals* totals) {
    if (!totals) return 0;
    return guardedFigures("GetRunTotals", [&]() -> Status {
        if (Status have = haveResults(set); !have) return have;
        *totals = VelkRunTotals{};
        std::strncpy(totals->testName, set->rep.test.testName.c_str(), sizeof totals->testName - 1);
        totals->startTime = set->rep.shared.runTimes.wallStart;
        totals->endTime = set->rep.shared.runTimes.wallEnd;
        totals->durationMs = set->rep.shared.runTimes.durationMs;
        totals->httpRequests =
            set->rep.shared.httpCounters.httpRequests.load(std::memory_order_relaxed);
        // Users run here and those brought in from other processes.
        for (const velk::UserRecord* record :
             velk::recordsByUser(*set->rep.run, set->rep.test.options.clients)) {
            if (!record) continue;
            totals->bytesSent += record->bytesSent;
            totals->bytesReceived += record->bytesReceived;
        }
        for (size_t c = 0; c < 1000; ++c)
            totals->statusCodes[c] =
                set->rep.shared.httpCounters.statusCodes[c].load(std::memory_order_relaxed);
        // The rate as the report computes it, shown only where the report shows it.
        const velk::RequestRate rate = velk::computeRequestRate(velk::api::reportInput(set->rep));
        totals->httpRequestsPerSecond = -1;
        if (set->rep.test.options.summarytimes == 1 && rate.measured) {
            totals->httpRequestsPerSecond = rate.requestsPerSecond;
            totals->httpRateApproximated = rate.approximated ? 1 : 0;
        }
        return Status::ok();
    });
}

int32_t GetTimeline(TestSet* set, VelkTimeline* timeline) {
    if (!timeline) return 0;
    static_assert(sizeof(VelkTimelinePoint) == sizeof(velk::TimelinePoint),
                  "timeline layouts differ");
    return guardedFigures("GetTimeline", [&]() -> Status {
        if (Status have = haveResults(set); !have) return have;
        const velk::RunTimeline& t = set->rep.run->timeline;
        timeline->spanMs = t.bucketMs();
        timeline->length = int32_t(t.points().size());
        timeline->points = reinterpret_cast<const VelkTimelinePoint*>(t.points().data());
        return Status::ok();
    });
}

}  // extern "C"
