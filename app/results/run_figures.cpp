#include "app/results/run_figures.h"

#include <algorithm>
#include <ctime>
#include <string_view>

namespace velk::results {
namespace {

// Watches the report text go by for the approximation warning, which may come
// split over pieces.
struct ApproximationWatch {
    static constexpr std::string_view kWarning = "WARNING: approximation used!";
    std::string tail;
    bool seen = false;

    static void take(void* sink, const char* text) {
        auto& self = *static_cast<ApproximationWatch*>(sink);
        const std::string_view piece(text);
        if (self.seen) return;
        // A warning split over two pieces begins in the kept tail of the last one.
        std::string joint = self.tail;
        joint.append(piece.substr(0, kWarning.size()));
        self.seen = joint.find(kWarning) != std::string::npos ||
                    piece.find(kWarning) != std::string_view::npos;
        joint = self.tail;
        joint.append(piece.substr(piece.size() - std::min(piece.size(), kWarning.size())));
        self.tail = joint.substr(joint.size() - std::min(joint.size(), kWarning.size() - 1));
    }
};

}  // namespace

HttpRate readHttpRate(TestSet* set) {
    HttpRate rate;
    ApproximationWatch watch;
    VelkSummary summary{};
    if (SaveResults(set, &watch, ApproximationWatch::take, &summary) != 0) return rate;
    // Without summary times the record's rate is 0 however many requests went out.
    if (summary.totalRequests > 0) {
        rate.perSecond = summary.requestsPerSecondX1000 / 1000.0;
        rate.overWholeRun = watch.seen;
    }
    return rate;
}

const char* const kPercentileNames[VELK_PERCENTILE_COUNT] = {"p50", "p90", "p95", "p99", "p99.9"};

int64_t RequestFigures::errorTotal() const {
    return stats.errors[0] + stats.errors[1] + stats.errors[2] + stats.errors[3];
}

double RunFigures::perSecond(const RequestFigures& r) const {
    return durationMs > 0 ? double(r.results()) * 1000.0 / double(durationMs) : 0;
}

bool collectRunFigures(TestSet* set, RunFigures& figures) {
    VelkRunTotals totals;
    if (!GetRunTotals(set, &totals)) return false;
    TestInfo info{};
    GetInfo(set, &info);
    figures.testName = totals.testName;
    figures.startTime = totals.startTime;
    figures.endTime = totals.endTime;
    figures.durationMs = totals.durationMs;
    figures.users = info.users;
    figures.iterations = info.iterations;
    figures.httpRequests = totals.httpRequests;
    figures.bytesSent = totals.bytesSent;
    figures.bytesReceived = totals.bytesReceived;
    const HttpRate rate = readHttpRate(set);
    figures.httpRequestsPerSecond = rate.perSecond;
    figures.httpRateOverWholeRun = rate.overWholeRun;
    figures.statusCodes.clear();
    for (int code = 0; code < 1000; ++code)
        if (totals.statusCodes[code] > 0)
            figures.statusCodes.emplace_back(code, totals.statusCodes[code]);
    if (!GetLatencyStats(set, -1, &figures.overall.stats)) return false;
    figures.requests.clear();
    const int32_t count = GetLatencyStatsCount(set);
    for (int32_t i = 0; i < count; ++i) {
        RequestFigures r;
        if (!GetLatencyStats(set, i, &r.stats)) return false;
        r.name = r.stats.name ? r.stats.name : "";
        figures.requests.push_back(std::move(r));
    }
    VelkTimeline timeline{};
    if (!GetTimeline(set, &timeline)) return false;
    figures.spanMs = timeline.spanMs;
    figures.timeline.assign(timeline.points, timeline.points + timeline.length);
    collectLoopLag(set, figures);
    return true;
}

void collectLoopLag(TestSet* set, RunFigures& figures) {
    figures.loopLag.clear();
    figures.allLoopsLag = VelkLoopLag{};
    const int32_t loops = GetLoopLagCount(set);
    for (int32_t i = 0; i < loops; ++i) {
        VelkLoopLag lag{};
        if (GetLoopLag(set, i, &lag)) figures.loopLag.push_back(lag);
    }
    if (loops > 0) GetLoopLag(set, -1, &figures.allLoopsLag);
    char warning[512];
    figures.lagWarning = GetLagWarning(set, warning, sizeof warning) ? warning : "";
}

std::string isoTime(int64_t secondsSince1970) {
    const std::time_t t = std::time_t(secondsSince1970);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

}  // namespace velk::results
