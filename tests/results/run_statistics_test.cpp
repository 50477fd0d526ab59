#include "results/run_statistics.h"

#include <gtest/gtest.h>

#include <cmath>

#include "results/aggregate_record.h"
#include "results/run_fixture.h"
#include "results/save_results.h"

namespace velk {
namespace {

using test::RunFixture;

struct HalvingCase {
    const char* what;
    std::vector<std::vector<int32_t>> timesPerUser;  // position 0 only
    int32_t repeat;                                  // each time is added this often
    AggregateRecord expected;
};

TEST(AggregateForCaller, HalvesSumAndCountTogetherUntilTheSumFits) {
    const HalvingCase cases[] = {
        {"none", {{}, {}}, 1, {2147483647, 0, 0, 0}},
        {"merged over users", {{1000, 3000}, {500}}, 1, {500, 4500, 3, 3000}},
        {"5e9 over 1000 halves twice", {{5000000}}, 1000, {5000000, 1250000000, 250, 5000000}},
        {"exactly at the limit stays", {{2147483647}}, 1, {2147483647, 2147483647, 1, 2147483647}},
    };
    for (const HalvingCase& c : cases) {
        RunFixture run;
        run.names = {"index"};
        for (const auto& times : c.timesPerUser) {
            UserRecord& user = run.addUser(ResultMode::Aggregated);
            for (int32_t t : times)
                for (int32_t i = 0; i < c.repeat; ++i) user.results.addTime(0, t);
        }
        ReportInput in = run.input();
        std::vector<AggregateRecord> records = aggregateForCaller(in.users, 1);
        ASSERT_EQ(records.size(), 1u) << c.what;
        EXPECT_EQ(records[0].minimum, c.expected.minimum) << c.what;
        EXPECT_EQ(records[0].sum, c.expected.sum) << c.what;
        EXPECT_EQ(records[0].count, c.expected.count) << c.what;
        EXPECT_EQ(records[0].maximum, c.expected.maximum) << c.what;
    }
}

TEST(AggregateForCaller, SkipsUsersWithoutAggregatedResults) {
    RunFixture run;
    run.names = {"a", "b"};
    run.addUser(ResultMode::Aggregated).results.addTime(1, 700);
    run.addUser(ResultMode::Detailed);
    ReportInput in = run.input();
    in.users.push_back(nullptr);
    std::vector<AggregateRecord> records = aggregateForCaller(in.users, 2);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].count, 0);
    EXPECT_EQ(records[1].minimum, 700);
    EXPECT_EQ(records[1].count, 1);
}

TEST(ComputeStatistics, ShowBadResultsZeroLeavesOutWholeIterationsWithAnyNegativeCode) {
    RunFixture run;
    run.options.requests = 3;
    run.names = {"a", "b", "c", "d", "e", "f"};
    UserRecord& user = run.addUser(ResultMode::Detailed);
    for (int32_t k = 0; k < 6; ++k) {
        user.results.setCell(k, 0, 1000);                          // all good
        user.results.setCell(k, 1, k == 3 ? kResultTimeout : 50);  // one timeout
    }
    user.results.setCell(0, 2, 2000);  // aborted after the first position

    for (int32_t show : {1, 0}) {
        run.options.showbadresults = show;
        RunStatistics s = computeStatistics(run.input());
        SCOPED_TRACE(show);
        EXPECT_EQ(s.errors.total, show ? 1 : 0);
        EXPECT_EQ(s.errors.timeout, show ? 1 : 0);
        EXPECT_DOUBLE_EQ(s.positions[0].minimumMs, show ? 0.05 : 1.0);
        EXPECT_DOUBLE_EQ(s.positions[0].maximumMs, show ? 2.0 : 1.0);
        EXPECT_EQ(s.positions[3].known, true);
    }
}

TEST(ComputeStatistics, ErrorClassesComeFromWhereTheRunKeptThem) {
    RunFixture run;
    run.names = {"a"};
    run.options.requests = 4;
    UserRecord& user = run.addUser(ResultMode::Detailed);
    const int32_t codes[] = {kResultNetwork, kResultHttp, kResultFail, kNotRun};
    for (int32_t i = 0; i < 4; ++i) user.results.setCell(0, i, codes[i]);
    run.errors.count(kResultTimeout);
    run.errors.count(kResultTimeout);

    RunStatistics detailed = computeStatistics(run.input());
    EXPECT_EQ(detailed.errors.total, 3);  // the not-run cell is no error
    EXPECT_EQ(detailed.errors.network, 1);
    EXPECT_EQ(detailed.errors.http, 1);
    EXPECT_EQ(detailed.errors.fail, 1);
    EXPECT_EQ(detailed.errors.timeout, 0);
    EXPECT_FALSE(detailed.positions[0].known);

    run.options.nodetails = 1;
    RunStatistics aggregated = computeStatistics(run.input());
    EXPECT_EQ(aggregated.errors.total, 2);
    EXPECT_EQ(aggregated.errors.timeout, 2);
    EXPECT_EQ(aggregated.errors.network, 0);

    run.scriptDriven = true;
    user.results.prepare(ResultMode::Scripted, 0, 0, false);
    user.results.scripted() = {{"x", kResultFail, 0, 0}, {"y", 10, 0, 0}, {"z", kNotRun, 0, 0}};
    RunStatistics scripted = computeStatistics(run.input());
    EXPECT_EQ(scripted.errors.total, 1);
    EXPECT_EQ(scripted.errors.fail, 1);
}

struct WindowUser {
    int64_t startTick, endTick;
    int32_t requestsMade, sentAtStart, sentAtEnd;
};

struct WindowCase {
    const char* what;
    std::vector<WindowUser> users;
    int64_t durationMs;
    int32_t httpRequests;
    bool approximated;
    double requestsPerSecond;
    double msPerRequest;
};

TEST(ComputeStatistics, RequestRateUsesTheWindowInWhichAllUsersRanOrTheWholeTest) {
    const WindowCase cases[] = {
        {"exact window 200..1400 with 6 requests",
         {{100, 1600, 4, 0, 8}, {200, 1400, 4, 1, 7}},
         2000,
         8,
         false,
         5.0,
         200.0},
        {"users that made no request do not narrow the window",
         {{100, 1600, 4, 0, 8}, {1500, 1500, 0, 8, 8}, {200, 1400, 4, 1, 7}},
         2000,
         8,
         false,
         5.0,
         200.0},
        {"window shorter than the interval: whole test",
         {{0, 500, 10, 0, 10}, {10, 900, 10, 0, 20}},
         4000,
         20,
         true,
         5.0,
         200.0},
        {"whole test of zero length gives 0, not inf", {{0, 0, 1, 0, 1}}, 0, 1, true, 0.0, 0.0},
        {"no request at all", {{0, 0, 0, 0, 0}}, 3000, 0, true, 0.0, 0.0},
    };
    for (const WindowCase& c : cases) {
        RunFixture run;
        run.times.durationMs = c.durationMs;
        run.counters.httpRequests = c.httpRequests;
        for (const WindowUser& w : c.users) {
            UserRecord& u = run.addUser(ResultMode::Detailed);
            u.startTick = w.startTick;
            u.endTick = w.endTick;
            u.requestsMade = w.requestsMade;
            u.sentAtStart = w.sentAtStart;
            u.sentAtEnd = w.sentAtEnd;
        }
        RunStatistics s = computeStatistics(run.input());
        EXPECT_EQ(s.approximated, c.approximated) << c.what;
        EXPECT_DOUBLE_EQ(s.requestsPerSecond, c.requestsPerSecond) << c.what;
        EXPECT_DOUBLE_EQ(s.msPerRequest, c.msPerRequest) << c.what;
    }
}

TEST(ComputeStatistics, ZeroDivisorsGiveZeroAndTrafficTotalsKeepAll64Bits) {
    RunFixture run;
    run.options.clients = 0;
    run.times.durationMs = 1000;
    UserRecord& a = run.addUser(ResultMode::Detailed);
    a.bytesSent = 5000000000ull;
    a.bytesReceived = 7000000000ull;
    a.requestsMade = 3;
    a.startTick = a.endTick = 50;  // no measurable work time
    UserRecord& b = run.addUser(ResultMode::Detailed);
    b.bytesSent = 1;

    RunStatistics s = computeStatistics(run.input());
    EXPECT_EQ(s.bytesSent, 5000000001ull);
    EXPECT_EQ(s.bytesReceived, 7000000000ull);
    EXPECT_DOUBLE_EQ(s.serverBandwidth, 12000000001.0 / 1000);
    EXPECT_EQ(s.userBandwidth, 0.0);
    ASSERT_EQ(s.userRates.size(), 1u);  // only users that made requests
    EXPECT_EQ(s.userRates[0].userNumber, 1);
    EXPECT_EQ(s.userRates[0].requestsPerSecond, 0.0);
    EXPECT_EQ(s.userRates[0].msPerRequest, 0.0);
    EXPECT_TRUE(std::isfinite(s.requestsPerSecond));
}

TEST(MakeSummary, SummaryTimesZeroLeavesRatesAndTotalAtZeroButFillsTheRest) {
    RunFixture run;
    run.options.clients = 2;
    run.times.durationMs = 2000;
    run.counters.httpRequests = 8;
    run.errors.count(kResultHttp);
    run.options.nodetails = 1;
    for (int i = 0; i < 2; ++i) {
        UserRecord& u = run.addUser(ResultMode::Aggregated);
        u.requestsMade = 4;
        u.endTick = 100;
        u.bytesSent = 6000;
        u.bytesReceived = 2000;
    }
    run.options.summarytimes = 1;
    SummaryRecord on = makeSummary(computeStatistics(run.input()), run.options);
    EXPECT_EQ(on.requestsPerSecondX1000, 4000);  // approximated: 8 requests in 2000 ms
    EXPECT_EQ(on.msPerRequestX1000, 250000);
    EXPECT_EQ(on.totalRequests, 8);

    run.options.summarytimes = 0;
    SummaryRecord off = makeSummary(computeStatistics(run.input()), run.options);
    EXPECT_EQ(off.requestsPerSecondX1000, 0);
    EXPECT_EQ(off.msPerRequestX1000, 0);
    EXPECT_EQ(off.totalRequests, 0);
    for (const SummaryRecord& r : {on, off}) {
        EXPECT_DOUBLE_EQ(r.serverBandwidth, 8.0);
        EXPECT_DOUBLE_EQ(r.userBandwidth, 4.0);
        EXPECT_EQ(r.totalErrors, 1);
    }

    run.times.durationMs = 0;
    SummaryRecord noDuration = makeSummary(computeStatistics(run.input()), run.options);
    EXPECT_EQ(noDuration.serverBandwidth, 0.0);
    EXPECT_EQ(noDuration.userBandwidth, 0.0);
}

}  // namespace
}  // namespace velk
