#include "app/results/pass_export.h"

#include <cstring>

#include "app/base/file_io.h"
#include "app/results/html_report.h"
#include "app/results/summary_json.h"

namespace velk::results {
namespace {

VelkLatencyStats engineStats(const LatencyFigures& f) {
    VelkLatencyStats s{};
    s.name = nullptr;  // the name is RequestFigures::name
    s.count = f.count;
    for (size_t i = 0; i < 4; ++i) s.errors[i] = f.errors[i];
    s.minMs = f.minMs;
    s.meanMs = f.meanMs;
    s.maxMs = f.maxMs;
    s.stddevMs = f.stddevMs;
    for (size_t i = 0; i < VELK_PERCENTILE_COUNT; ++i) {
        s.percentilesMs[i] = f.percentilesMs[i];
        s.intendedPercentilesMs[i] = f.intendedPercentilesMs[i];
    }
    s.paced = f.paced;
    s.intendedCount = f.intendedCount;
    s.intendedMaxMs = f.intendedMaxMs;
    return s;
}

VelkLoopLag engineLag(const LoopLagFigures& lag) {
    return {lag.samples, lag.p50Ms, lag.p99Ms, lag.maxMs};
}

}  // namespace

bool collectRunFigures(TestSet* set, RunFigures& figures) {
    PassFigures pass;
    const std::optional<RunTotals> totals = collectTotals(set);
    if (!totals || !collectLatency(set, pass)) return false;
    figures = runFiguresOf(pass, *totals);
    return true;
}

RunFigures runFiguresOf(const PassFigures& figures, const RunTotals& totals) {
    RunFigures f;
    f.testName = totals.testName;
    f.startTime = totals.startTime;
    f.endTime = totals.endTime;
    f.durationMs = totals.durationMs;
    f.users = totals.users;
    f.iterations = totals.iterations;
    f.httpRequests = totals.httpRequests;
    f.bytesSent = totals.bytesSent;
    f.bytesReceived = totals.bytesReceived;
    f.httpRequestsPerSecond = totals.httpRequestsPerSecond;
    f.httpRateOverWholeRun = totals.httpRateOverWholeRun;
    f.statusCodes.assign(totals.statusCodes.begin(), totals.statusCodes.end());
    f.overall.stats = engineStats(figures.overall);
    for (const LatencyFigures& l : figures.requests) f.requests.push_back({l.name, engineStats(l)});
    f.spanMs = figures.spanMs;
    for (const TimelineSpan& s : figures.timeline)
        f.timeline.push_back({s.requests, s.errors, s.usersActive});
    for (const LoopLagFigures& lag : totals.loopLag) f.loopLag.push_back(engineLag(lag));
    f.allLoopsLag = engineLag(totals.allLoopsLag);
    f.lagWarning = totals.lagWarning;
    return f;
}

std::optional<RunFigures> runFiguresOf(const CResultsStore& pass, std::string& why) {
    if (!pass.figures) {
        why = std::string(kNoPercentiles) + ": the pass \"" + pass.title +
              "\" was saved without the figures a report is made of. Run the test again to "
              "export it.";
        return std::nullopt;
    }
    if (!pass.figures->totals) {
        why = "The pass \"" + pass.title +
              "\" was saved by an earlier version, without the status codes, traffic and times "
              "a report is made of. Run the test again to export it.";
        return std::nullopt;
    }
    return runFiguresOf(*pass.figures, *pass.figures->totals);
}

std::string exportText(const RunFigures& figures, ExportFormat format) {
    return format == ExportFormat::kHtmlReport ? htmlReport(figures, {}) : summaryJson(figures, {});
}

bool exportPass(const CResultsStore& pass, ExportFormat format, const std::string& path,
                std::string& error) {
    const std::optional<RunFigures> figures = runFiguresOf(pass, error);
    if (!figures) return false;
    const int err = velk::base::replaceFileWhole(path, exportText(*figures, format));
    if (err != 0)
        error = "Failed to export the pass.\n" + path + ": " + std::strerror(err) +
                "\nThe file on the disk was not changed.";
    return err == 0;
}

}  // namespace velk::results
