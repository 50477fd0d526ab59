// Response-time figures: the histogram against exact percentiles, merging, the
// intended-start correction of paced requests and the bounded timeline.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "results/latency_histogram.h"
#include "results/request_latency.h"
#include "results/run_latency.h"
#include "results/run_timeline.h"

namespace velk {
namespace {

// The exact percentile as the histogram defines it: the value of rank
// ceil(p/100 × n) in sorted order.
double exactPercentile(std::vector<int64_t> values, double p) {
    std::sort(values.begin(), values.end());
    const auto rank = std::max<int64_t>(1, int64_t(std::ceil(p / 100 * double(values.size()))));
    return double(values[size_t(rank - 1)]);
}

std::vector<int64_t> skewedValues(unsigned seed, size_t n) {
    // Mostly fast answers with a long slow tail, as servers give them: a
    // log-normal body and one value in fifty far out.
    std::mt19937_64 random(seed);
    std::lognormal_distribution<double> body(std::log(20000.0), 0.6);
    std::uniform_int_distribution<int64_t> tail(500000, 30000000);
    std::uniform_int_distribution<int> pick(0, 49);
    std::vector<int64_t> values;
    for (size_t i = 0; i < n; ++i)
        values.push_back(pick(random) == 0 ? tail(random) : int64_t(body(random)));
    values.push_back(3);  // an exact small value
    return values;
}

TEST(LatencyHistogram, PercentilesStayWithinOnePercentOfTheSortedValues) {
    for (unsigned seed : {1u, 2u, 3u}) {
        const std::vector<int64_t> values = skewedValues(seed, 20000 + seed * 3333);
        LatencyHistogram h;
        double sum = 0;
        for (int64_t v : values) h.record(v), sum += double(v);
        for (double p : {0.01, 1.0, 50.0, 90.0, 95.0, 99.0, 99.9, 100.0}) {
            const double exact = exactPercentile(values, p);
            EXPECT_LE(std::abs(h.percentile(p) - exact), exact * 0.01 + 1e-9)
                << "seed " << seed << " p" << p;
        }
        EXPECT_EQ(h.count(), int64_t(values.size()));
        EXPECT_EQ(h.minimum(), *std::min_element(values.begin(), values.end()));
        EXPECT_EQ(h.maximum(), *std::max_element(values.begin(), values.end()));
        EXPECT_NEAR(h.mean(), sum / double(values.size()), 1e-6 * h.mean());
    }
}

TEST(LatencyHistogram, MergedUserHistogramsEqualOneHistogramOfAllValues) {
    const std::vector<int64_t> values = skewedValues(7, 30000);
    LatencyHistogram whole, merged;
    std::vector<LatencyHistogram> users(7);
    for (size_t i = 0; i < values.size(); ++i) {
        whole.record(values[i]);
        users[i % users.size()].record(values[i]);
    }
    for (const LatencyHistogram& u : users) merged.merge(u);
    EXPECT_EQ(merged.count(), whole.count());
    EXPECT_EQ(merged.minimum(), whole.minimum());
    EXPECT_EQ(merged.maximum(), whole.maximum());
    EXPECT_NEAR(merged.standardDeviation(), whole.standardDeviation(),
                1e-6 * whole.standardDeviation());
    for (double p = 0.5; p <= 100; p += 0.5)
        EXPECT_EQ(merged.percentile(p), whole.percentile(p)) << p;
    EXPECT_EQ(merged.percentile(99.9), whole.percentile(99.9));
}

TEST(LatencyHistogram, EdgesOfTheRange) {
    LatencyHistogram h;
    EXPECT_EQ(h.percentile(99), 0);
    EXPECT_EQ(h.standardDeviation(), 0);
    h.record(-5);                // counts as 0
    h.record(int64_t(1) << 50);  // beyond the range: kept at its top
    h.record(2147483647);
    EXPECT_EQ(h.minimum(), 0);
    EXPECT_EQ(h.maximum(), LatencyHistogram::kMaxValue);
    EXPECT_EQ(h.percentile(100), double(LatencyHistogram::kMaxValue));
    EXPECT_NEAR(h.percentile(60), 2147483647.0, 2147483647.0 * 0.01);
    // Identical values: every percentile is that value, and no spread.
    LatencyHistogram same;
    for (int i = 0; i < 1000; ++i) same.record(123456);
    EXPECT_EQ(same.percentile(50), 123456);
    EXPECT_EQ(same.standardDeviation(), 0);
}

TEST(RequestLatency, PacedStallCountsTheLateAndTheMissedRequests) {
    // Interval 100 ms; a request that took 1 s (a stall).
    RequestLatency r;
    r.record(1000000, 1000000, 0, 100000);
    // The next one starts 900 ms after it was due and itself takes 10 ms.
    r.record(10000, 10000, 900000, 100000);
    r.record(-4, 0, 0, 100000);
    EXPECT_EQ(r.times().count(), 2);
    EXPECT_EQ(r.errors()[3], 1);
    // The missed ones were due 200, 300 ... 900 ms after the stalled request began.
    EXPECT_EQ(r.intended().count(), 2 + 8);
    EXPECT_EQ(r.intended().maximum(), 1000000);
    EXPECT_NEAR(r.intended().percentile(50), 500000, 5000);
    EXPECT_NEAR(r.times().percentile(50), 10000, 100);
    // Not paced: the same as the plain times.
    RequestLatency plain;
    plain.record(1000000, 1000000, 0, 0);
    EXPECT_EQ(plain.intended().count(), 1);
}

TEST(RunLatency, MergesUsersByRequestName) {
    UserRecord a, b;
    a.latency.resize(3);
    b.latency.resize(3);
    a.latency[0].record(1000, 1000, 0, 0);
    a.latency[2].record(3000, 3000, 0, 0);  // the second "home" entry
    b.latency[1].record(-2, 0, 0, 0);
    b.results.prepare(ResultMode::Detailed, 3, 1, false);
    const RunLatency run = RunLatency::merge({&a, &b}, {"home", "login", "home"}, false);
    ASSERT_EQ(run.names, (std::vector<std::string>{"home", "login"}));
    EXPECT_EQ(run.requests[0].times().count(), 2);
    EXPECT_EQ(run.requests[1].errors()[1], 1);
    EXPECT_EQ(run.overall.times().count(), 2);
    EXPECT_EQ(run.overall.errorTotal(), 1);
}

TEST(RunTimeline, CountsPerSecondAndFoldsToStayBounded) {
    RunTimeline t;
    t.addSample(10, 1, 3);
    t.addSample(25, 1, 5);
    ASSERT_EQ(t.points().size(), 2u);
    EXPECT_EQ(t.points()[1].requests, 15);
    EXPECT_EQ(t.points()[1].errors, 0);
    EXPECT_EQ(t.points()[1].usersActive, 5);
    // A week of seconds: the length stays bounded and nothing is lost.
    int64_t total = 25;
    for (int i = 0; i < 7 * 24 * 3600; ++i) t.addSample(int32_t(25 + i + 1), 1, 2), ++total;
    EXPECT_LE(t.points().size(), RunTimeline::kMaxPoints);
    EXPECT_GT(t.bucketMs(), 1000);
    int64_t sum = 0;
    for (const TimelinePoint& p : t.points()) sum += p.requests;
    EXPECT_EQ(sum, total);
}

TEST(RunTimeline, SamplerReadsTheCountersUntilStopped) {
    std::atomic<int32_t> requests{0}, users{2}, net{0}, http{0}, fail{0}, timeout{0};
    RunTimeline t;
    t.start({&requests, {&net, &http, &fail, &timeout}, &users});
    requests = 40;
    http = 2;
    t.stop();  // takes the last sample at once
    ASSERT_FALSE(t.points().empty());
    int64_t sum = 0, errors = 0;
    for (const TimelinePoint& p : t.points()) sum += p.requests, errors += p.errors;
    EXPECT_EQ(sum, 40);
    EXPECT_EQ(errors, 2);
}

}  // namespace
}  // namespace velk
