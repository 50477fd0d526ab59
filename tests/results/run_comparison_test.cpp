// The rule that makes a change a regression, and the summaries it reads.
#include "app/results/run_comparison.h"

#include <gtest/gtest.h>

#include <cmath>

#include "app/results/comparison_text.h"

namespace velk::results {
namespace {

ComparedRun runOf(double p95, int64_t count, int64_t errors) {
    ComparedRun run;
    run.overall = {"", count, errors, {p95 / 2, p95, p95 * 1.5}};
    run.requests.push_back({"login", count, errors, {p95 / 2, p95, p95 * 1.5}});
    return run;
}

TEST(RunComparison, ARiseIsARegressionOnlyPastBothLimits) {
    // Defaults: +10% and +5 ms for percentiles, +10% and +1 point for errors.
    struct Case {
        const char* what;
        double baseP95, currentP95;
        int64_t baseErrors, currentErrors;  // of 1000 results
        bool p95Regressed, errorsRegressed;
    } cases[] = {
        {"fast request, large relative rise under 5 ms", 0.8, 4.0, 0, 0, false, false},
        {"slow request, small relative rise over 5 ms", 400, 430, 0, 0, false, false},
        {"30% slower and 30 ms", 100, 130, 0, 0, true, false},
        {"exactly on both limits", 50, 55, 0, 0, false, false},
        {"faster is never a regression", 130, 100, 0, 0, false, false},
        {"errors from none to 2%", 10, 10, 0, 20, false, true},
        {"errors under a point more", 10, 10, 0, 9, false, false},
        {"errors 20% to 21.5%: a point and a half, but under 10% more", 10, 10, 200, 215, false,
         false},
        {"errors 5% to 7%", 10, 10, 50, 70, false, true},
    };
    for (const Case& c : cases) {
        const Comparison cmp =
            compareRuns(runOf(c.baseP95, 1000 - c.baseErrors, c.baseErrors),
                        runOf(c.currentP95, 1000 - c.currentErrors, c.currentErrors), {});
        ASSERT_EQ(cmp.rows.size(), 2u) << c.what;
        const ComparisonRow& login = cmp.rows[1];
        EXPECT_EQ(login.quantiles[1].regression, c.p95Regressed) << c.what;
        EXPECT_EQ(login.errorShare.regression, c.errorsRegressed) << c.what;
        EXPECT_EQ(cmp.regressions() > 0, login.regression()) << c.what;
    }
    // Limits are options: 0 ms makes every relative rise past 10% count.
    EXPECT_TRUE(compareRuns(runOf(0.8, 1000, 0), runOf(4.0, 1000, 0), {10, 0, 1})
                    .rows[1]
                    .quantiles[1]
                    .regression);
    // A request only one run has, or one that timed nothing, is shown, not judged.
    ComparedRun added = runOf(100, 1000, 0);
    added.requests.push_back({"new", 0, 50, {-1, -1, -1}});
    const Comparison cmp = compareRuns(runOf(100, 1000, 0), added, {});
    ASSERT_EQ(cmp.rows.size(), 3u);
    EXPECT_FALSE(cmp.rows[2].inBase);
    EXPECT_EQ(cmp.regressions(), 0);
    EXPECT_NE(comparisonTable(cmp).find("new\n"), std::string::npos) << comparisonTable(cmp);
}

TEST(RunComparison, SummariesThatAreNotSoundAreRefusedWithAReason) {
    const std::string good =
        R"({"format": "velk-summary/1", "overall": {"count": 3, "errors": {"total": 1},
            "percentilesMs": {"p50": 1.5, "p95": 2, "p99": 2.5}},
            "requests": [{"name": "a\u00e9\"", "count": 3, "errors": {"total": 1},
            "percentilesMs": null}]})";
    const StatusOr<ComparedRun> read = comparedRunFromSummary(good);
    ASSERT_TRUE(read) << read.status().message();
    const ComparedRun& run = *read;
    EXPECT_EQ(run.requests.at(0).name, "a\xc3\xa9\"");
    EXPECT_EQ(run.overall.quantilesMs[2], 2.5);
    EXPECT_EQ(run.requests[0].quantilesMs[0], -1);
    EXPECT_DOUBLE_EQ(run.overall.errorShare(), 25);

    struct Case {
        std::string text;
        const char* error;
    } cases[] = {
        {"", "line 1: unexpected text"},
        {R"({"format": "other"})", "not a velkrun summary"},
        {R"({"format": "velk-summary/1", "overall": {"count": -1}})", "\"count\" is missing"},
        {R"({"format": "velk-summary/1", "overall": {"count": 1e300}})", "\"count\" is missing"},
        {R"({"format": "velk-summary/1", "overall": {"count": 1, "errors": {"total": 0}},
             "requests": [{"count": 1}]})",
         "request 1 has no \"name\""},
        {R"({"format": "velk-summary/1", "x": "\ud800)", "a string does not end"},
        {R"({"format": "velk-summary/1", "x": 1e999})", "a number out of range"},
        {std::string(100, '[') + std::string(100, ']'), "nested too deeply"},
        {"{\"a\": \"\x01\"}", "a control character"},
    };
    for (const Case& c : cases) {
        const StatusOr<ComparedRun> bad = comparedRunFromSummary(c.text);
        const std::string& error = bad.status().message();
        EXPECT_FALSE(bad) << c.text;
        EXPECT_EQ(bad.status().code(), StatusCode::kInvalid) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
    }
}

TEST(RunComparison, NamesFromFilesAreEscapedInEveryFormat) {
    ComparedRun base = runOf(100, 100, 0), current = runOf(200, 100, 0);
    base.requests[0].name = current.requests[0].name = "a|b<c>&\x1b[31m\xff";
    const Comparison cmp = compareRuns(base, current, {});
    const std::string table = comparisonTable(cmp);
    EXPECT_EQ(table.find('\x1b'), std::string::npos);
    EXPECT_NE(table.find("a|b<c>&?[31m? "), std::string::npos) << table;
    EXPECT_NE(table.find("REGRESSION"), std::string::npos);
    EXPECT_NE(comparisonMarkdown(cmp).find("| a\\|b\\<c\\>&?\\[31m? |"), std::string::npos)
        << comparisonMarkdown(cmp);
    const std::string junit = comparisonJunit(cmp);
    EXPECT_NE(junit.find("name=\"a|b&lt;c&gt;&amp;?[31m?\""), std::string::npos) << junit;
    EXPECT_NE(junit.find("failures=\"2\""), std::string::npos) << junit;
    EXPECT_NE(junit.find("<failure message=\"p50 +100.0% (+50.0 ms), p95 +100.0% (+100.0 ms)"),
              std::string::npos)
        << junit;
}

}  // namespace
}  // namespace velk::results
