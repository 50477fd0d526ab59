#include "app/results/run_comparison.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "app/base/file_io.h"
#include "app/results/json_value.h"
#include "app/results/results_container.h"
#include "app/results/rlt_file.h"

namespace velk::results {
namespace {

// Counts a summary may hold: what a double keeps exactly.
constexpr double kMaxCount = 9007199254740992.0;
// A summary is small; a results file is read under its own limits.
constexpr size_t kMaxSummaryBytes = JsonValue::kMaxTextBytes;

ComparedMeasure measure(double base, double current, double percent, double absolute) {
    ComparedMeasure m;
    m.base = base;
    m.current = current;
    m.regression = exceedsLimits(base, current, percent, absolute);
    return m;
}

const ComparedFigures* findNamed(const ComparedRun& run, const std::string& name) {
    for (const ComparedFigures& r : run.requests)
        if (r.name == name) return &r;
    return nullptr;
}

ComparisonRow compareRow(const std::string& name, const ComparedFigures* base,
                         const ComparedFigures* current, const RegressionLimits& limits) {
    ComparisonRow row;
    row.name = name;
    row.inBase = base != nullptr;
    row.inCurrent = current != nullptr;
    const ComparedFigures none;
    const ComparedFigures& b = base ? *base : none;
    const ComparedFigures& c = current ? *current : none;
    row.baseCount = b.count;
    row.currentCount = c.count;
    const bool both = base && current;
    row.errorShare = measure(base ? b.errorShare() : -1, current ? c.errorShare() : -1,
                             limits.percent, limits.errorPoints);
    for (size_t i = 0; i < 3; ++i)
        row.quantiles[i] =
            measure(b.quantilesMs[i], c.quantilesMs[i], limits.percent, limits.latencyMs);
    if (!both) {
        row.errorShare.regression = false;
        for (ComparedMeasure& q : row.quantiles) q.regression = false;
    }
    return row;
}

std::string signedNumber(double v, const char* format) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return (v >= 0 ? "+" : "") + std::string(text);
}

// A count from a summary: a whole number from 0 to kMaxCount.
bool readCount(const JsonValue* v, int64_t& out) {
    if (!v || !v->isNumber() || !(v->number() >= 0) || v->number() > kMaxCount ||
        std::floor(v->number()) != v->number())
        return false;
    out = int64_t(v->number());
    return true;
}

Status readFigures(const JsonValue& object, ComparedFigures& out, const std::string& where) {
    if (object.kind() != JsonValue::Kind::Object)
        return {StatusCode::kInvalid, where + " is not an object"};
    if (!readCount(object.member("count"), out.count))
        return {StatusCode::kInvalid, where + ": \"count\" is missing or not a count"};
    const JsonValue* errors = object.member("errors");
    if (!errors || !readCount(errors->member("total"), out.errors))
        return {StatusCode::kInvalid, where + ": \"errors\".\"total\" is missing or not a count"};
    const JsonValue* percentiles = object.member("percentilesMs");
    for (size_t i = 0; i < 3; ++i) {
        out.quantilesMs[i] = -1;
        const JsonValue* q = percentiles ? percentiles->member(kComparedQuantileNames[i]) : nullptr;
        if (!q || q->kind() == JsonValue::Kind::Null || out.count == 0) continue;
        if (!q->isNumber() || q->number() < 0 || q->number() > 1e12)
            return {StatusCode::kInvalid, where + ": \"percentilesMs\".\"" +
                                              kComparedQuantileNames[i] + "\" is not a time in ms"};
        out.quantilesMs[i] = q->number();
    }
    return Status::ok();
}

ComparedFigures fromLatency(const LatencyFigures& f) {
    ComparedFigures out;
    out.name = f.name;
    out.count = f.count;
    for (int64_t e : f.errors) out.errors += e;
    // The engine's percentiles: 50, 90, 95, 99, 99.9.
    if (f.count > 0) out.quantilesMs = {f.percentilesMs[0], f.percentilesMs[2], f.percentilesMs[3]};
    return out;
}

bool endsWith(const std::string& s, std::string_view tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

StatusOr<ComparedRun> comparedRunFromResults(const std::string& path) {
    CResultsContainer list;
    Status loaded = loadResultsFile(list, path);
    for (int32_t i = list.count() - 1; i >= 0; --i) {
        const ResultsStorePtr record = list.get(i);
        if (record && record->figures) return comparedRunFromFigures(*record->figures);
    }
    if (!loaded) return loaded;
    return {StatusCode::kInvalid, path + ": no pass in this results file holds percentiles"};
}

}  // namespace

double ComparedFigures::errorShare() const {
    const int64_t n = results();
    return n > 0 ? double(errors) * 100 / double(n) : -1;
}

bool exceedsLimits(double base, double current, double relativePercent, double absolute) {
    if (base < 0 || current < 0) return false;
    const double rise = current - base;
    return rise > absolute && rise > base * relativePercent / 100;
}

bool ComparisonRow::regression() const {
    if (errorShare.regression) return true;
    for (const ComparedMeasure& q : quantiles)
        if (q.regression) return true;
    return false;
}

std::string ComparisonRow::regressionText() const {
    std::string text;
    for (size_t i = 0; i < 3; ++i) {
        const ComparedMeasure& q = quantiles[i];
        if (!q.regression) continue;
        if (!text.empty()) text += ", ";
        text += std::string(kComparedQuantileNames[i]) + " ";
        if (q.hasChangePercent()) text += signedNumber(q.changePercent(), "%.1f") + "% (";
        text += signedNumber(q.current - q.base, "%.1f") + " ms";
        if (q.hasChangePercent()) text += ")";
    }
    if (errorShare.regression) {
        if (!text.empty()) text += ", ";
        text += "errors " + signedNumber(errorShare.current - errorShare.base, "%.2f") + " points";
    }
    return text;
}

int Comparison::regressions() const {
    int n = 0;
    for (const ComparisonRow& row : rows) n += row.regression() ? 1 : 0;
    return n;
}

Comparison compareRuns(const ComparedRun& base, const ComparedRun& current,
                       const RegressionLimits& limits) {
    Comparison c;
    c.limits = limits;
    c.rows.push_back(compareRow("", &base.overall, &current.overall, limits));
    std::vector<std::string> seen;
    auto firstTime = [&seen](const std::string& name) {
        for (const std::string& s : seen)
            if (s == name) return false;
        seen.push_back(name);
        return true;
    };
    for (const ComparedFigures& r : current.requests)
        if (firstTime(r.name))
            c.rows.push_back(compareRow(r.name, findNamed(base, r.name), &r, limits));
    for (const ComparedFigures& r : base.requests)
        if (firstTime(r.name)) c.rows.push_back(compareRow(r.name, &r, nullptr, limits));
    return c;
}

ComparedRun comparedRunFromFigures(const PassFigures& figures) {
    ComparedRun run;
    run.overall = fromLatency(figures.overall);
    run.overall.name.clear();
    for (const LatencyFigures& r : figures.requests) run.requests.push_back(fromLatency(r));
    return run;
}

StatusOr<ComparedRun> comparedRunFromSummary(std::string_view text) {
    std::string error;
    const std::unique_ptr<JsonValue> root = JsonValue::parse(text, error);
    if (!root) return {StatusCode::kInvalid, std::move(error)};
    const JsonValue* format = root->member("format");
    if (!format || !format->isString() || !format->string().starts_with("velk-summary/"))
        return {StatusCode::kInvalid, "not a velkrun summary (no \"format\": \"velk-summary/1\")"};
    const JsonValue* overall = root->member("overall");
    if (!overall) return {StatusCode::kInvalid, "the summary has no \"overall\" figures"};
    ComparedRun out;
    if (Status read = readFigures(*overall, out.overall, "\"overall\""); !read) return read;
    const JsonValue* requests = root->member("requests");
    if (!requests || requests->kind() != JsonValue::Kind::Array)
        return {StatusCode::kInvalid, "the summary has no \"requests\" list"};
    for (const JsonValue& r : requests->items()) {
        ComparedFigures figures;
        const std::string where = "request " + std::to_string(out.requests.size() + 1);
        const JsonValue* name = r.member("name");
        if (!name || !name->isString()) return {StatusCode::kInvalid, where + " has no \"name\""};
        figures.name = name->string();
        if (Status read = readFigures(r, figures, where); !read) return read;
        out.requests.push_back(std::move(figures));
    }
    return out;
}

StatusOr<ComparedRun> readComparedRun(const std::string& path) {
    if (endsWith(path, ".rlt")) return comparedRunFromResults(path);
    StatusOr<std::string> text = velk::base::readRegularFile(path, kMaxSummaryBytes);
    if (!text) return text.status();
    StatusOr<ComparedRun> run = comparedRunFromSummary(*text);
    if (!run) return {run.status().code(), path + ": " + run.status().message()};
    return run;
}

}  // namespace velk::results
