#include "app/results/pass_figures.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/results/run_figures.h"

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

std::string number(double ms) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", ms);
    return text;
}

std::string count(int64_t n) {
    return std::to_string(n);
}

int64_t errorSum(const LatencyFigures& f) {
    int64_t all = 0;
    for (int64_t e : f.errors) all += e;
    return all;
}

constexpr size_t kMaxNameColumn = 40;

// Characters of UTF-8 text (continuation bytes do not count).
size_t utf8Length(const std::string& text) {
    size_t n = 0;
    for (char c : text) n += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    return n;
}

// The first n characters of UTF-8 text.
std::string utf8Prefix(const std::string& text, size_t n) {
    size_t i = 0;
    for (size_t seen = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xc0) != 0x80 && seen++ == n) break;
    return text.substr(0, i);
}

// A name as a table cell: no control characters, at most kMaxNameColumn
// characters (longer ones end in "...").
std::string cell(const std::string& name, bool overall) {
    if (overall) return "All requests";
    std::string text = name;
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    if (utf8Length(text) > kMaxNameColumn) text = utf8Prefix(text, kMaxNameColumn - 3) + "...";
    return text;
}

// The first column is padded to its widest name, so that the tab-separated
// figures line up in a fixed font whatever the names' lengths.
std::string padded(const std::string& text, size_t width) {
    const size_t length = utf8Length(text);
    return length < width ? text + std::string(width - length, ' ') : text;
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
    const HttpRate rate = readHttpRate(set);
    totals.httpRequestsPerSecond = rate.perSecond;
    totals.httpRateOverWholeRun = rate.overWholeRun;
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
    if (GetLatencyStatsCount(set) <= 0 || !collectLatency(set, figures)) return std::nullopt;
    figures.totals = collectTotals(set);
    return figures;
}

std::string summaryText(const std::optional<PassFigures>& figures) {
    if (!figures) return kNoPercentiles;
    size_t width = utf8Length(cell({}, true));
    for (const LatencyFigures& f : figures->requests)
        width = std::max(width, utf8Length(cell(f.name, false)));
    const auto name = [&](const LatencyFigures& f, bool overall) {
        return padded(cell(f.name, overall), width);
    };
    std::string text = padded("Request", width) +
                       "\tCount\tErrors\tMin\tMean\tp50\tp90\tp95\tp99\tp99.9\tMax (ms)\n";
    const auto row = [&](const LatencyFigures& f, bool overall) {
        text += name(f, overall) + "\t" + count(f.count) + "\t" + count(errorSum(f)) + "\t" +
                number(f.minMs) + "\t" + number(f.meanMs);
        for (double p : f.percentilesMs) text += "\t" + number(p);
        text += "\t" + number(f.maxMs) + "\n";
    };
    for (const LatencyFigures& f : figures->requests) row(f, false);
    row(figures->overall, true);
    if (!figures->overall.paced) return text;
    text += "\nFrom the intended start (paced requests)\n";
    text += padded("Request", width) + "\tCount\tp50\tp90\tp95\tp99\tp99.9\tMax (ms)\n";
    const auto intended = [&](const LatencyFigures& f, bool overall) {
        text += name(f, overall) + "\t" + count(f.intendedCount);
        for (double p : f.intendedPercentilesMs) text += "\t" + number(p);
        text += "\t" + number(f.intendedMaxMs) + "\n";
    };
    for (const LatencyFigures& f : figures->requests) intended(f, false);
    intended(figures->overall, true);
    return text;
}

}  // namespace velk::results
