#include "app/results/summary_json.h"

#include "app/results/json_text.h"

namespace velk::results {
namespace {

void errorsObject(JsonText& json, const RequestFigures& r) {
    json.beginObject("errors");
    json.integer("total", r.errorTotal());
    json.integer("network", r.stats.errors[0]);
    json.integer("http", r.stats.errors[1]);
    json.integer("failedCheck", r.stats.errors[2]);
    json.integer("timeout", r.stats.errors[3]);
    json.endObject();
}

void percentiles(JsonText& json, const double (&values)[VELK_PERCENTILE_COUNT]) {
    json.beginObject("percentilesMs");
    for (int i = 0; i < VELK_PERCENTILE_COUNT; ++i) json.number(kPercentileNames[i], values[i]);
    json.endObject();
}

// The figures of one request name, or of the run (without a name).
void latencyFields(JsonText& json, const RunFigures& figures, const RequestFigures& r) {
    const VelkLatencyStats& s = r.stats;
    json.integer("count", s.count);
    errorsObject(json, r);
    // requestsPerSecond is the older name of resultsPerSecond, kept for callers.
    json.integer("results", r.results());
    json.number("resultsPerSecond", figures.perSecond(r));
    json.number("requestsPerSecond", figures.perSecond(r));
    if (s.count > 0) {
        json.number("minMs", s.minMs);
        json.number("meanMs", s.meanMs);
        json.number("maxMs", s.maxMs);
        json.number("stddevMs", s.stddevMs);
        percentiles(json, s.percentilesMs);
    } else {
        for (const char* key : {"minMs", "meanMs", "maxMs", "stddevMs", "percentilesMs"})
            json.null(key);
    }
    if (s.paced && s.intendedCount > 0) {
        json.beginObject("fromIntendedStart");
        json.integer("count", s.intendedCount);
        json.number("maxMs", s.intendedMaxMs);
        percentiles(json, s.intendedPercentilesMs);
        json.endObject();
    } else {
        json.null("fromIntendedStart");
    }
}

void lagFields(JsonText& json, const VelkLoopLag& lag) {
    json.integer("samples", lag.samples);
    json.number("p50Ms", lag.p50Ms);
    json.number("p99Ms", lag.p99Ms);
    json.number("maxMs", lag.maxMs);
}

}  // namespace

std::string summaryJson(const RunFigures& f, const std::vector<Threshold>& thresholds) {
    JsonText json;
    json.beginObject();
    json.string("format", "velk-summary/1");
    json.beginObject("test");
    json.string("name", f.testName);
    json.string("start", isoTime(f.startTime));
    json.string("end", isoTime(f.endTime));
    json.integer("durationMs", f.durationMs);
    json.integer("users", f.users);
    if (f.iterations < 0)
        json.null("iterations");
    else
        json.integer("iterations", f.iterations);
    json.endObject();

    json.beginObject("traffic");
    json.integer("requestsSent", f.httpRequests);
    if (f.httpRequestsPerSecond < 0) {
        json.null("requestsSentPerSecond");
        json.null("requestsSentPerSecondOver");
    } else {
        json.number("requestsSentPerSecond", f.httpRequestsPerSecond);
        json.string("requestsSentPerSecondOver",
                    f.httpRateOverWholeRun ? "wholeRun" : "allUsersRunning");
    }
    json.integer("bytesSent", int64_t(f.bytesSent));
    json.integer("bytesReceived", int64_t(f.bytesReceived));
    json.endObject();

    json.beginObject("statusCodes");
    for (const auto& [code, count] : f.statusCodes) json.integer(std::to_string(code), count);
    json.endObject();

    json.beginObject("overall");
    latencyFields(json, f, f.overall);
    json.endObject();

    json.beginArray("requests");
    for (const RequestFigures& r : f.requests) {
        json.beginObject();
        json.string("name", r.name);
        latencyFields(json, f, r);
        json.endObject();
    }
    json.endArray();

    json.beginObject("timeline");
    json.integer("spanMs", f.spanMs);
    json.beginArray("requests");
    for (const VelkTimelinePoint& p : f.timeline) json.integer({}, p.requests);
    json.endArray();
    json.beginArray("errors");
    for (const VelkTimelinePoint& p : f.timeline) json.integer({}, p.errors);
    json.endArray();
    json.beginArray("usersActive");
    for (const VelkTimelinePoint& p : f.timeline) json.integer({}, p.usersActive);
    json.endArray();
    json.endObject();

    json.beginObject("generator");
    json.beginArray("loops");
    for (const VelkLoopLag& lag : f.loopLag) {
        json.beginObject();
        lagFields(json, lag);
        json.endObject();
    }
    json.endArray();
    if (f.loopLag.empty()) {
        json.null("allLoops");
    } else {
        json.beginObject("allLoops");
        lagFields(json, f.allLoopsLag);
        json.endObject();
    }
    if (f.lagWarning.empty())
        json.null("warning");
    else
        json.string("warning", f.lagWarning);
    json.endObject();

    json.beginArray("thresholds");
    for (const Threshold& t : thresholds) {
        const ThresholdResult r = evaluateThreshold(t, f);
        json.beginObject();
        json.string("expression", t.text);
        if (r.measured)
            json.number("value", r.value);
        else
            json.null("value");
        json.boolean("ok", r.ok);
        json.endObject();
    }
    json.endArray();
    json.endObject();
    return json.text();
}

}  // namespace velk::results
