#include "app/results/pass_figures.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

namespace velk::results {
namespace {

LatencyFigures fromEngine(const VelkLatencyStats& s) {
    LatencyFigures f;
    f.name = s.name ? s.name : "";
    f.count = s.count;
    for (size_t i = 0; i < 4; ++i) f.errors[i] = s.errors[i];
    f.minMs = s.minMs;
    f.meanMs = s.meanMs;
    f.maxMs = s.maxMs;
    f.stddevMs = s.stddevMs;
    for (size_t i = 0; i < VELK_PERCENTILE_COUNT; ++i) {
        f.percentilesMs[i] = s.percentilesMs[i];
        f.intendedPercentilesMs[i] = s.intendedPercentilesMs[i];
    }
    f.paced = s.paced;
    f.intendedCount = s.intendedCount;
    f.intendedMaxMs = s.intendedMaxMs;
    return f;
}

LoopLagFigures fromEngine(const VelkLoopLag& lag) {
    return {lag.samples, lag.p50Ms, lag.p99Ms, lag.maxMs};
}

}  // namespace

std::optional<RunTotals> collectTotals(TestSet* set) {
    // Four kilobytes of status codes: kept off the caller's stack.
    auto engine = std::make_unique<VelkRunTotals>();
    if (!GetRunTotals(set, engine.get())) return std::nullopt;
    const VelkRunTotals& t = *engine;
    TestInfo info{};
    GetInfo(set, &info);
    RunTotals totals;
    totals.testName.assign(t.testName, strnlen(t.testName, sizeof t.testName));
    totals.startTime = t.startTime;
    totals.endTime = t.endTime;
    totals.durationMs = t.durationMs;
    totals.users = info.users;
    totals.iterations = info.iterations;
    totals.httpRequests = t.httpRequests;
    totals.bytesSent = t.bytesSent;
    totals.bytesReceived = t.bytesReceived;
    totals.httpRequestsPerSecond = t.httpRequestsPerSecond;
    totals.httpRateOverWholeRun = t.httpRateApproximated != 0;
    for (int32_t code = 0; code < 1000; ++code)
        if (t.statusCodes[code] > 0) totals.statusCodes.emplace_back(code, t.statusCodes[code]);
    collectLoopLag(set, totals);
    return totals;
}

void collectLoopLag(TestSet* set, RunTotals& totals) {
    totals.loopLag.clear();
    const int32_t loops = GetLoopLagCount(set);
    for (int32_t i = 0; i < loops; ++i) {
        VelkLoopLag lag{};
        if (GetLoopLag(set, i, &lag)) totals.loopLag.push_back(fromEngine(lag));
    }
    VelkLoopLag all{};
    if (loops > 0) GetLoopLag(set, -1, &all);
    totals.allLoopsLag = fromEngine(all);
    char warning[512];
    totals.lagWarning = GetLagWarning(set, warning, sizeof warning) ? warning : "";
}

bool collectLatency(TestSet* set, PassFigures& figures) {
    const int32_t n = GetLatencyStatsCount(set);
    VelkLatencyStats stats{};
    if (!GetLatencyStats(set, -1, &stats)) return false;
    figures.overall = fromEngine(stats);
    figures.overall.name.clear();
    figures.requests.clear();
    for (int32_t i = 0; i < n; ++i) {
        if (!GetLatencyStats(set, i, &stats)) return false;
        figures.requests.push_back(fromEngine(stats));
    }
    figures.timeline.clear();
    VelkTimeline timeline{};
    if (GetTimeline(set, &timeline) && timeline.points && timeline.length > 0) {
        figures.spanMs = timeline.spanMs;
        for (int32_t i = 0; i < timeline.length; ++i)
            figures.timeline.push_back({timeline.points[i].requests, timeline.points[i].errors,
                                        timeline.points[i].usersActive});
    }
    return true;
}

std::optional<PassFigures> collectFigures(TestSet* set) {
    PassFigures figures;
    figures.totals = collectTotals(set);
    if (!figures.totals || !collectLatency(set, figures)) return std::nullopt;
    return figures;
}

bool timesRequests(const PassFigures& figures) {
    return !figures.requests.empty();
}

const RunTotals& PassFigures::run() const {
    static const RunTotals kNone;
    return totals ? *totals : kNone;
}

double PassFigures::perSecond(const LatencyFigures& r) const {
    const int64_t durationMs = run().durationMs;
    return durationMs > 0 ? double(r.results()) * 1000.0 / double(durationMs) : 0;
}

const char* const kPercentileNames[VELK_PERCENTILE_COUNT] = {"p50", "p90", "p95", "p99", "p99.9"};

std::string isoTime(int64_t secondsSince1970) {
    const std::time_t t = std::time_t(secondsSince1970);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

}  // namespace velk::results
