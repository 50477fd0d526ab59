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

std::string isoTime(int64_t secondsSince1970) {
    const std::time_t t = std::time_t(secondsSince1970);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

}  // namespace velk::results
