#include "app/results/summary_json.h"

#include <array>

#include "app/results/json_text.h"

namespace velk::results {
namespace {

void errorsObject(JsonText& json, const LatencyFigures& r) {
    json.beginObject("errors");
    json.integer("total", r.errorTotal());
    json.integer("network", r.errors[0]);
    json.integer("http", r.errors[1]);
    json.integer("failedCheck", r.errors[2]);
    json.integer("timeout", r.errors[3]);
    json.endObject();
}

void percentiles(JsonText& json, const std::array<double, VELK_PERCENTILE_COUNT>& values) {
    json.beginObject("percentilesMs");
    for (int i = 0; i < VELK_PERCENTILE_COUNT; ++i)
        json.number(kPercentileNames[i], values[size_t(i)]);
    json.endObject();
}

// The figures of one request name, or of the run (without a name).
void latencyFields(JsonText& json, const PassFigures& figures, const LatencyFigures& s) {
    json.integer("count", s.count);
    errorsObject(json, s);
    // requestsPerSecond is the older name of resultsPerSecond, kept for callers.
    json.integer("results", s.results());
    json.number("resultsPerSecond", figures.perSecond(s));
    json.number("requestsPerSecond", figures.perSecond(s));
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

void lagFields(JsonText& json, const LoopLagFigures& lag) {
    json.integer("samples", lag.samples);
    json.number("p50Ms", lag.p50Ms);
    json.number("p99Ms", lag.p99Ms);
    json.number("maxMs", lag.maxMs);
}

}  // namespace

std::string summaryJson(const PassFigures& f, const std::vector<Threshold>& thresholds) {
    const RunTotals& t = f.run();
    JsonText json;
    json.beginObject();
    json.string("format", "velk-summary/1");
    json.beginObject("test");
    json.string("name", t.testName);
    json.string("start", isoTime(t.startTime));
    json.string("end", isoTime(t.endTime));
    json.integer("durationMs", t.durationMs);
    json.integer("users", t.users);
    if (t.iterations < 0)
        json.null("iterations");
    else
        json.integer("iterations", t.iterations);
    json.endObject();

    json.beginObject("traffic");
    json.integer("requestsSent", t.httpRequests);
    if (t.httpRequestsPerSecond < 0) {
        json.null("requestsSentPerSecond");
        json.null("requestsSentPerSecondOver");
    } else {
        json.number("requestsSentPerSecond", t.httpRequestsPerSecond);
        json.string("requestsSentPerSecondOver",
                    t.httpRateOverWholeRun ? "wholeRun" : "allUsersRunning");
    }
    json.integer("bytesSent", int64_t(t.bytesSent));
    json.integer("bytesReceived", int64_t(t.bytesReceived));
    json.endObject();

    json.beginObject("statusCodes");
    for (const auto& [code, count] : t.statusCodes) json.integer(std::to_string(code), count);
    json.endObject();

    json.beginObject("overall");
    latencyFields(json, f, f.overall);
    json.endObject();

    json.beginArray("requests");
    for (const LatencyFigures& r : f.requests) {
        json.beginObject();
        json.string("name", r.name);
        latencyFields(json, f, r);
        json.endObject();
    }
    json.endArray();

    json.beginObject("timeline");
    json.integer("spanMs", f.spanMs);
    json.beginArray("requests");
    for (const TimelineSpan& p : f.timeline) json.integer({}, p.requests);
    json.endArray();
    json.beginArray("errors");
    for (const TimelineSpan& p : f.timeline) json.integer({}, p.errors);
    json.endArray();
    json.beginArray("usersActive");
    for (const TimelineSpan& p : f.timeline) json.integer({}, p.usersActive);
    json.endArray();
    json.endObject();

    json.beginObject("generator");
    json.beginArray("loops");
    for (const LoopLagFigures& lag : t.loopLag) {
        json.beginObject();
        lagFields(json, lag);
        json.endObject();
    }
    json.endArray();
    if (t.loopLag.empty()) {
        json.null("allLoops");
    } else {
        json.beginObject("allLoops");
        lagFields(json, t.allLoopsLag);
        json.endObject();
    }
    if (t.lagWarning.empty())
        json.null("warning");
    else
        json.string("warning", t.lagWarning);
    json.endObject();

    json.beginArray("thresholds");
    for (const Threshold& threshold : thresholds) {
        const ThresholdResult r = evaluateThreshold(threshold, f);
        json.beginObject();
        json.string("expression", threshold.text);
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
