// The graph pages' computations over results records: series, "no value"
// rules, summary-form records, axis scaling and the batch figures.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/graphs/graph_axis_rules.h"
#include "app/graphs/graph_batch.h"
#include "app/graphs/graph_entry.h"
#include "app/graphs/graph_statistics.h"
#include "results_fixture.h"

namespace velk::graphs {
namespace {

using velk::results::testing::detailedPass;
using velk::results::testing::inBatch;
using velk::results::testing::summaryPass;

constexpr int32_t kNoMin = 2147483647;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<double> ys(const GraphSeries& series) {
    std::vector<double> out;
    for (const auto& p : series.points) out.push_back(p.y);
    return out;
}
std::vector<double> xs(const GraphSeries& series) {
    std::vector<double> out;
    for (const auto& p : series.points) out.push_back(p.x);
    return out;
}

TEST(GraphAxisRules, VerticalStepAndRangeFollowTheLargestValue) {
    struct Case {
        double largest, step, maximum;
    } cases[] = {
        {4.2, 0.1, 4.3},   {0, 0.1, 1.1},
        {5, 0.1, 5.1},     {5.5, 1, 6.5},
        {20, 1, 21},       {21, 10, 31},
        {500, 10, 510},    {501, 50, 551},
        {5000, 50, 5050},  {5001, 1000, 6001},
        {-3, 0.1, 1.1},    {kNaN, 0.1, 1.1},
        {1e-20, 0.1, 0.1}, {2147483.647, 1000, 2148483.647},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.largest);
        const GraphAxis axis = verticalAxis(c.largest);
        EXPECT_EQ(axis.minimum, 0);
        EXPECT_DOUBLE_EQ(axis.step, c.step);
        EXPECT_NEAR(axis.maximum, c.maximum, 1e-9);
    }
}

TEST(GraphAxisRules, HorizontalRangeEndsOnePastTheLargestXWithStepsOfFive) {
    struct Case {
        double largest, step, maximum;
    } cases[] = {
        {0, 1, 1},         {1, 1, 2},    {49, 1, 50},
        {50, 5, 51},       {99, 5, 100}, {100, 10, 101},
        {1000, 100, 1001}, {-7, 1, 1},   {2147483647.0, 214748360, 2147483648.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.largest);
        const GraphAxis axis = horizontalAxis(c.largest);
        EXPECT_EQ(axis.minimum, 0);
        EXPECT_DOUBLE_EQ(axis.step, c.step);
        EXPECT_DOUBLE_EQ(axis.maximum, c.maximum);
    }
}

TEST(GraphAxisRules, ErrorShareIsAHundredWithoutRequestsAndNeverAbove) {
    struct Case {
        int32_t errors, requests;
        double share;
    } cases[] = {
        {0, 0, 100},
        {5, 0, 100},
        {0, 10, 0},
        {5, 10, 50},
        {20, 10, 100},
        {-4, 10, 0},
        {2000000000, 2000000000, 100},
        {30000000, 100000000, 30},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(errorPercentage(c.errors, c.requests), c.share)
            << c.errors << " of " << c.requests;
}

TEST(EntryGraph, EmptyListOffersNothingToDraw) {
    EXPECT_TRUE(entryGraphChoices({}).empty());
    EXPECT_TRUE(batchGraphChoices({}).empty());
    EXPECT_TRUE(entryGraph({}, 0).series.empty());
    EXPECT_TRUE(batchGraph({}, kErrorsGraph).series.empty());
}

TEST(EntryGraph, SinglePassOffersItsEntriesButNoBatchGraphs) {
    ResultsList list{detailedPass({{{1000}, {2000}}}, {"/index", ""})};
    EXPECT_EQ(entryGraphChoices(list), (std::vector<std::string>{"/index", "Entry 2"}));
    EXPECT_TRUE(batchGraphChoices(list).empty());
}

TEST(EntryGraph, PerIterationMaxAvgMinSkipNoValues) {
    // Three users, three iterations of entry 1; -1 is an error, -255 not run.
    ResultsList list{detailedPass({{{0, 0, 0}, {1000, -1, kNoMin}},
                                   {{0, 0, 0}, {3000, -255, 2000}},
                                   {{0, 0, 0}, {2000, -4, -1}}},
                                  {"/a", "/b"})};
    const GraphChart chart = entryGraph(list, 1);
    ASSERT_EQ(chart.series.size(), 3u);
    EXPECT_EQ(chart.title, "/b");
    EXPECT_EQ(chart.subtitle, "Number of virtual users = 3");
    EXPECT_EQ(chart.horizontal.title, "Iteration");
    EXPECT_EQ(chart.vertical.title, "Request processing time (ms)");
    EXPECT_EQ(chart.series[0].name, "Max");
    EXPECT_EQ(chart.series[0].color, (GraphColor{250, 0, 0}));
    EXPECT_EQ(chart.series[1].name, "Avg");
    EXPECT_EQ(chart.series[2].name, "Min");
    EXPECT_EQ(xs(chart.series[0]), (std::vector<double>{1, 2, 3}));
    // Iteration 3: 2147483647 is a time for Max and Avg, never a minimum.
    EXPECT_EQ(ys(chart.series[0]), (std::vector<double>{3, 0, kNoMin * 0.001}));
    EXPECT_EQ(ys(chart.series[1]), (std::vector<double>{2, 0, (kNoMin + 2000.0) / 2 * 0.001}));
    EXPECT_EQ(ys(chart.series[2]), (std::vector<double>{1, 0, 2}));
    EXPECT_DOUBLE_EQ(chart.horizontal.maximum, 4);
    EXPECT_DOUBLE_EQ(chart.horizontal.step, 1);
    EXPECT_DOUBLE_EQ(chart.vertical.step, 1000);
}

TEST(EntryGraph, LargestTimeOf4Point2MsGivesStepPoint1) {
    ResultsList list{detailedPass({{{4200, 100}}, {{300, 1000}}}, {"/a"})};
    const GraphChart chart = entryGraph(list, 0);
    EXPECT_DOUBLE_EQ(chart.vertical.step, 0.1);
    EXPECT_NEAR(chart.vertical.maximum, 4.3, 1e-9);
    EXPECT_EQ(chart.vertical.minimum, 0);
}

TEST(EntryGraph, IterationsFieldBeyondTheHeldValuesIsNotPlotted) {
    auto record = detailedPass({{{1000, 2000}}}, {"/a"});
    record->iterations = 2000000000;  // a damaged file
    const GraphChart chart = entryGraph({record}, 0);
    EXPECT_EQ(chart.series[0].points.size(), 2u);
    record->iterations = -1;
    EXPECT_TRUE(entryGraph({record}, 0).series[0].points.empty());
}

TEST(EntryGraph, SummaryFormPassGivesSinglePointsAtOne) {
    ResultsList list{summaryPass({{1500, 9000, 3, 4500, 0}, {kNoMin, 0, 0, 0, 0}}, {"/a", "/b"})};
    GraphChart chart = entryGraph(list, 0);
    ASSERT_EQ(chart.series.size(), 3u);
    for (const auto& series : chart.series) EXPECT_EQ(xs(series), std::vector<double>{1});
    EXPECT_EQ(ys(chart.series[0]), std::vector<double>{4.5});
    EXPECT_EQ(ys(chart.series[1]), std::vector<double>{3});
    EXPECT_EQ(ys(chart.series[2]), std::vector<double>{1.5});
    EXPECT_DOUBLE_EQ(chart.horizontal.maximum, 2);
    // An entry that never succeeded: minimum 2147483647, count 0.
    chart = entryGraph(list, 1);
    for (const auto& series : chart.series) EXPECT_EQ(ys(series), std::vector<double>{0});
    // A damaged file: too few summary values, or a negative sum, give no value.
    list = {summaryPass({{1500, 9000}, {-5, -9000, 3, -1, 0}}, {"/a", "/b"})};
    for (size_t entry : {0u, 1u})
        for (const auto& series : entryGraph(list, entry).series)
            EXPECT_EQ(ys(series), std::vector<double>{0}) << entry;
}

ResultsList batchOfThree() {
    // Entry 1 ("/fail") never succeeds; the third pass is in summary form and
    // the second lost its second entry.
    auto second = detailedPass({{{3000}}, {{1000}}}, {"/ok", "/fail"});
    return {
        inBatch(detailedPass({{{1000, 3000}, {-1, -3}}}, {"/ok", "/fail"}), 1), inBatch(second, 2),
        inBatch(summaryPass({{500, 1000, 1, 6000, 0}, {kNoMin, 0, 0, 0, 0}}, {"/ok", "/fail"}), 3)};
}

TEST(EntryGraph, BatchPlotsEachPassAtItsCycleValueAndFailedEntriesAsZero) {
    const ResultsList list = batchOfThree();
    GraphChart chart = entryGraph(list, 0);
    EXPECT_EQ(chart.horizontal.title, "Virtual users");
    EXPECT_EQ(chart.subtitle, "Number of iterations = 2");
    EXPECT_EQ(xs(chart.series[0]), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(ys(chart.series[0]), (std::vector<double>{3, 3, 6}));
    EXPECT_EQ(ys(chart.series[1]), (std::vector<double>{2, 2, 1}));
    EXPECT_EQ(ys(chart.series[2]), (std::vector<double>{1, 1, 0.5}));
    EXPECT_DOUBLE_EQ(chart.vertical.step, 1);
    chart = entryGraph(list, 1);
    for (const auto& series : chart.series) EXPECT_EQ(ys(series), (std::vector<double>{0, 0, 0}));
}

TEST(EntryGraph, BatchOverIterationsNamesTheUsers) {
    auto record = inBatch(detailedPass({{{1000}}}, {"/a"}), 5, true);
    record->users = 7;
    EXPECT_EQ(entryGraph({record}, 0).subtitle, "Number of virtual users = 7");
}

// The batch graphs take every entry's figures in one pass over a record's
// rows: the same figures as entry by entry, for ragged rows, values that mean
// nothing and summary records.
TEST(BatchGraph, OnePassOverTheRowsGivesEachEntrysFigures) {
    const std::shared_ptr<results::CResultsStore> records[] = {
        detailedPass({{{100, -1, 300}, {kNoMin, 5}}, {{7}}, {}, {{}, {}, {9, 9}}}, {"a", "b", "c"}),
        summaryPass({{10, 60, 3, 30, 0}, {-1, 5, 1, 5, 0}}, {"a", "b"}),
    };
    for (const auto& record : records) {
        std::vector<EntryStatistics> all(4);
        addRecordEntries(*record, all);
        for (size_t entry = 0; entry < all.size(); ++entry) {
            EntryStatistics one;
            one.addRecordEntry(*record, entry);
            EXPECT_EQ(all[entry].maximumMs(), one.maximumMs()) << entry;
            EXPECT_EQ(all[entry].averageMs(), one.averageMs()) << entry;
            EXPECT_EQ(all[entry].minimumMs(), one.minimumMs()) << entry;
        }
    }
}

TEST(BatchGraph, SixChoicesInOrderForABatch) {
    EXPECT_EQ(batchGraphChoices(batchOfThree()),
              (std::vector<std::string>{"Average request processing time",
                                        "Maximum request processing time",
                                        "Minimum request processing time", "Overall performance",
                                        "Errors", "Average bandwidth"}));
}

TEST(BatchGraph, TimeGraphsHaveOneSeriesPerEntry) {
    const ResultsList list = batchOfThree();
    struct Case {
        BatchGraph graph;
        std::vector<double> ok;
    } cases[] = {
        {kAverageTimeGraph, {2, 2, 1}},
        {kMaximumTimeGraph, {3, 3, 6}},
        {kMinimumTimeGraph, {1, 1, 0.5}},
    };
    for (const auto& c : cases) {
        const GraphChart chart = batchGraph(list, c.graph);
        SCOPED_TRACE(chart.title);
        EXPECT_EQ(chart.vertical.title, "Time (ms)");
        EXPECT_EQ(chart.horizontal.title, "Virtual users");
        ASSERT_EQ(chart.series.size(), 2u);
        EXPECT_EQ(chart.series[0].name, "/ok");
        EXPECT_EQ(chart.series[1].name, "/fail");
        EXPECT_NE(chart.series[0].color, chart.series[1].color);
        EXPECT_EQ(xs(chart.series[0]), (std::vector<double>{1, 2, 3}));
        EXPECT_EQ(ys(chart.series[0]), c.ok);
        EXPECT_EQ(ys(chart.series[1]), (std::vector<double>{0, 0, 0}));
    }
}

TEST(BatchGraph, FigureGraphsUseThePassFigures) {
    ResultsList list = batchOfThree();
    auto set = [&](size_t i, float rps, double server, double user, int32_t requests,
                   int32_t errors) {
        auto record = std::make_shared<results::CResultsStore>(*list[i]);
        record->requestsPerSecond = rps;
        record->serverBandwidth = server;
        record->userBandwidth = user;
        record->totalRequests = requests;
        record->totalErrors = errors;
        list[i] = record;
    };
    set(0, 12.5f, 100, 10, 0, 0);
    set(1, 25, 200, kNaN, 40, 10);
    set(2, std::numeric_limits<float>::infinity(), 300, 30, 40, 0);

    GraphChart chart = batchGraph(list, kPerformanceGraph);
    EXPECT_EQ(chart.vertical.title, "Overall performance (requests/sec)");
    ASSERT_EQ(chart.series.size(), 1u);
    EXPECT_EQ(chart.series[0].name, "Values");
    EXPECT_EQ(chart.series[0].color, (GraphColor{0, 0, 255}));
    EXPECT_EQ(ys(chart.series[0]), (std::vector<double>{12.5, 25, 0}));

    chart = batchGraph(list, kErrorsGraph);
    EXPECT_EQ(chart.vertical.title, "Errors (%)");
    EXPECT_EQ(ys(chart.series[0]), (std::vector<double>{100, 25, 0}));
    EXPECT_EQ(chart.vertical.maximum, 100);
    EXPECT_EQ(chart.vertical.step, 10);

    chart = batchGraph(list, kBandwidthGraph);
    EXPECT_EQ(chart.vertical.title, "Average bandwidth (Kbits/sec)");
    ASSERT_EQ(chart.series.size(), 2u);
    EXPECT_EQ(chart.series[0].name, "Server");
    EXPECT_EQ(chart.series[0].color, (GraphColor{255, 0, 0}));
    EXPECT_EQ(chart.series[1].name, "User");
    EXPECT_EQ(ys(chart.series[0]), (std::vector<double>{800, 1600, 2400}));
    EXPECT_EQ(ys(chart.series[1]), (std::vector<double>{80, 0, 240}));
    EXPECT_DOUBLE_EQ(chart.vertical.step, 50);
    EXPECT_DOUBLE_EQ(chart.vertical.maximum, 2450);
}

}  // namespace
}  // namespace velk::graphs
