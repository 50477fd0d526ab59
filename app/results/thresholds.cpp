#include "app/results/thresholds.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace velk::results {
namespace {

struct MetricName {
    const char* name;
    Threshold::Metric metric;
    int percentile;
};

constexpr MetricName kMetrics[] = {
    {"p50", Threshold::Metric::Percentile, 0},   {"p90", Threshold::Metric::Percentile, 1},
    {"p95", Threshold::Metric::Percentile, 2},   {"p99", Threshold::Metric::Percentile, 3},
    {"p99.9", Threshold::Metric::Percentile, 4}, {"min", Threshold::Metric::Min, 0},
    {"mean", Threshold::Metric::Mean, 0},        {"max", Threshold::Metric::Max, 0},
    {"stddev", Threshold::Metric::Stddev, 0},    {"errors", Threshold::Metric::Errors, 0},
    {"rps", Threshold::Metric::Rps, 0},
};

const LatencyFigures* findRequest(const PassFigures& figures, const std::string& name) {
    if (name.empty()) return &figures.overall;
    for (const LatencyFigures& r : figures.requests)
        if (r.name == name) return &r;
    return nullptr;
}

// Largest limit taken: far beyond any time, rate or count a run reports.
constexpr double kMaxLimit = 1e12;

// A plain decimal number ("300", "0.5", ".5"): no sign, exponent, hex or spaces,
// which strtod would take and turn into a limit nobody meant.
bool isDecimal(const std::string& text) {
    size_t digits = 0, points = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.' && points++ == 0)
            continue;
        else
            return false;
    }
    return digits > 0;
}

bool isTime(Threshold::Metric m) {
    return m != Threshold::Metric::Errors && m != Threshold::Metric::Rps;
}

}  // namespace

StatusOr<Threshold> parseThreshold(const std::string& text) {
    Threshold t;
    t.text = text;
    // The limit holds neither "<" nor ">": the last one is the operator, so a
    // request name may hold them.
    const size_t op = text.find_last_of("<>");
    if (op == std::string::npos)
        return {StatusCode::kInvalid,
                "--threshold " + text + ": expected METRIC<VALUE or METRIC>VALUE, as in p95<300"};
    std::string left = text.substr(0, op);
    // The request name may hold colons itself: the metric follows the last one.
    if (const size_t colon = left.rfind(':'); colon != std::string::npos) {
        t.request = left.substr(0, colon);
        left = left.substr(colon + 1);
        if (t.request.empty())
            return {StatusCode::kInvalid,
                    "--threshold " + text + ": empty request name before \":\""};
    }
    bool known = false;
    for (const MetricName& m : kMetrics)
        if (left == m.name) {
            t.metric = m.metric;
            t.percentile = m.percentile;
            known = true;
        }
    if (!known)
        return {StatusCode::kInvalid,
                "--threshold " + text + ": unknown measure \"" + left +
                    "\" (p50, p90, p95, p99, p99.9, min, mean, max, stddev, errors, rps)"};
    size_t pos = op + 1;
    const bool orEqual = pos < text.size() && text[pos] == '=';
    if (orEqual) ++pos;
    t.compare = text[op] == '<'
                    ? (orEqual ? Threshold::Compare::LessOrEqual : Threshold::Compare::Less)
                    : (orEqual ? Threshold::Compare::GreaterOrEqual : Threshold::Compare::Greater);
    std::string value = text.substr(pos);
    if (!value.empty() && value.back() == '%') {
        t.percent = true;
        value.pop_back();
    }
    t.limit = isDecimal(value) ? std::strtod(value.c_str(), nullptr) : NAN;
    if (!(t.limit >= 0 && t.limit <= (t.percent ? 100 : kMaxLimit)))
        return {StatusCode::kInvalid,
                "--threshold " + text + ": the limit must be a decimal number from 0 to " +
                    (t.percent ? "100%" : "1000000000000") + ", as in p95<300 or errors<1.5%"};
    if (t.percent && t.metric != Threshold::Metric::Errors)
        return {StatusCode::kInvalid, "--threshold " + text + ": only errors take a limit in %"};
    return t;
}

ThresholdResult evaluateThreshold(const Threshold& t, const PassFigures& figures) {
    ThresholdResult result;
    const LatencyFigures* r = findRequest(figures, t.request);
    if (!r) return result;
    const LatencyFigures& s = *r;
    // Times of a request that never answered are unknown, not 0.
    if (isTime(t.metric) && s.count == 0) return result;
    switch (t.metric) {
        case Threshold::Metric::Percentile:
            result.value = s.percentilesMs[size_t(t.percentile)];
            break;
        case Threshold::Metric::Min:
            result.value = s.minMs;
            break;
        case Threshold::Metric::Mean:
            result.value = s.meanMs;
            break;
        case Threshold::Metric::Max:
            result.value = s.maxMs;
            break;
        case Threshold::Metric::Stddev:
            result.value = s.stddevMs;
            break;
        case Threshold::Metric::Errors:
            if (t.percent && r->results() == 0) return result;
            result.value = t.percent ? 100.0 * double(r->errorTotal()) / double(r->results())
                                     : double(r->errorTotal());
            break;
        case Threshold::Metric::Rps:
            result.value = figures.perSecond(*r);
            break;
    }
    result.measured = true;
    switch (t.compare) {
        case Threshold::Compare::Less:
            result.ok = result.value < t.limit;
            break;
        case Threshold::Compare::LessOrEqual:
            result.ok = result.value <= t.limit;
            break;
        case Threshold::Compare::Greater:
            result.ok = result.value > t.limit;
            break;
        case Threshold::Compare::GreaterOrEqual:
            result.ok = result.value >= t.limit;
            break;
    }
    return result;
}

bool checkThresholds(const std::vector<Threshold>& thresholds, const PassFigures& figures,
                     const char* program, const std::vector<std::string>& untimedRequests) {
    bool all = true;
    for (const Threshold& t : thresholds) {
        const ThresholdResult r = evaluateThreshold(t, figures);
        all = all && r.ok;
        if (!r.measured) {
            const bool untimed = std::find(untimedRequests.begin(), untimedRequests.end(),
                                           t.request) != untimedRequests.end();
            std::fprintf(stderr, "%s: threshold %s: not measured (%s) FAILED\n", program,
                         t.text.c_str(),
                         findRequest(figures, t.request) ? "no response was timed"
                         : untimed ? "the script defines this request, but no sequence of "
                                     "the run made it"
                                   : "no such request");
            continue;
        }
        const char* unit = isTime(t.metric)                     ? " ms"
                           : t.percent                          ? "%"
                           : t.metric == Threshold::Metric::Rps ? "/s"
                                                                : "";
        std::fprintf(stderr, "%s: threshold %s: %.2f%s %s\n", program, t.text.c_str(), r.value,
                     unit, r.ok ? "ok" : "FAILED");
    }
    return all;
}

}  // namespace velk::results
