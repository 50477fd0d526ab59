// The live panel's figures from readings alone: the texts a person reads, the
// recent rate, the per-second series, and what a new pass or a pause does.
#include "app/runner/live_figures.h"

#include <gtest/gtest.h>

namespace velk::runner {
namespace {

LiveReading reading(int64_t elapsedMs, int64_t made, int64_t total = 100) {
    LiveReading r;
    r.running = true;
    r.elapsedMs = elapsedMs;
    r.made = made;
    r.total = total;
    r.users = 10;
    r.usersActive = 4;
    return r;
}

TEST(LiveFigures, TextsOfOneReading) {
    struct Case {
        const char* what;
        LiveReading r;
        LiveTexts expected;
    };
    LiveReading errors = reading(61000, 200, 400);
    errors.errors[0] = 2;
    errors.errors[1] = 6;
    LiveReading scripted = reading(3723000, 5, -1);
    LiveReading timeLimited = reading(30000, 5, -1);
    timeLimited.maxtimeSeconds = 90;
    LiveReading moreErrorsThanMade = reading(1000, 1, 10);
    moreErrorsThanMade.errors[3] = 3;
    LiveReading batch = reading(1000, 1, 10);
    batch.pass = 2;
    batch.passValue = 20;
    batch.nextValue = 30;
    LiveReading lastPass = batch;
    lastPass.nextValue = -1;
    lastPass.byIterations = true;
    LiveReading pausing = batch;
    pausing.pausing = true;
    const Case cases[] = {
        {"no errors",
         reading(42000, 170, 750),
         {"0:42", "unknown", "170 of 750", "-", "none", "4 of 10", ""}},
        {"errors by class",
         errors,
         {"1:01", "unknown", "200 of 400", "-", "8 (4.0%): network 2 (1.0%), HTTP 6 (3.0%)",
          "4 of 10", ""}},
        {"script-driven, past an hour",
         scripted,
         {"1:02:03", "unknown", "5", "-", "none", "4 of 10", ""}},
        {"time limit", timeLimited, {"0:30", "1:00", "5", "-", "none", "4 of 10", ""}},
        {"errors outrun the progress",
         moreErrorsThanMade,
         {"0:01", "unknown", "1 of 10", "-", "3 (100.0%): time-out 3 (100.0%)", "4 of 10", ""}},
        {"batch pass",
         batch,
         {"0:01", "unknown", "1 of 10", "-", "none", "4 of 10", "Pass 2: Users=20; next Users=30"}},
        {"last batch pass",
         lastPass,
         {"0:01", "unknown", "1 of 10", "-", "none", "4 of 10",
          "Pass 2: Iterations=20; the last pass"}},
        {"between passes",
         pausing,
         {"0:01", "unknown", "1 of 10", "-", "none", "4 of 10",
          "Waiting after pass 2 (Users=20); next Users=30"}},
    };
    for (const Case& c : cases) {
        LiveFigures f;
        f.add(c.r);
        const LiveTexts t = f.texts();
        EXPECT_EQ(t.elapsed, c.expected.elapsed) << c.what;
        EXPECT_EQ(t.remaining, c.expected.remaining) << c.what;
        EXPECT_EQ(t.requests, c.expected.requests) << c.what;
        EXPECT_EQ(t.rate, c.expected.rate) << c.what;
        EXPECT_EQ(t.errors, c.expected.errors) << c.what;
        EXPECT_EQ(t.users, c.expected.users) << c.what;
        EXPECT_EQ(t.pass, c.expected.pass) << c.what;
    }
}

TEST(LiveFigures, RateIsOverTheLastSecondsAndGivesTheRemainingTime) {
    LiveFigures f;
    // 10 requests a second for 10 s, then 40 a second.
    int64_t made = 0;
    for (int s = 0; s <= 10; ++s, made += 10) f.add(reading(s * 1000, made, 1000));
    EXPECT_DOUBLE_EQ(f.recentRate(), 10);
    made -= 10;
    for (int s = 11; s <= 20; ++s) f.add(reading(s * 1000, made += 40, 1000));
    EXPECT_DOUBLE_EQ(f.recentRate(), 40);
    EXPECT_EQ(f.texts().rate, "40.0/s");
    // 1000 - 500 left at 40 a second: 12.5 s, shown rounded.
    EXPECT_EQ(made, 500);
    EXPECT_EQ(f.texts().remaining, "0:13");
    ASSERT_EQ(f.points().size(), 20u);
    EXPECT_DOUBLE_EQ(f.points().front().requestsPerSecond, 10);
    EXPECT_DOUBLE_EQ(f.points().back().requestsPerSecond, 40);
    EXPECT_DOUBLE_EQ(f.points().back().second, 20);
}

TEST(LiveFigures, ErrorsPerSecondAndLatencyGoIntoTheSeries) {
    LiveFigures f;
    LiveReading r = reading(0, 0);
    f.add(r);
    r = reading(2000, 10);
    r.errors[1] = 4;
    r.p50 = 1.5;
    r.p95 = 3;
    r.p99 = 9;
    f.add(r);
    ASSERT_EQ(f.points().size(), 1u);
    const LivePoint& p = f.points().back();
    EXPECT_DOUBLE_EQ(p.requestsPerSecond, 5);
    EXPECT_DOUBLE_EQ(p.errorsPerSecond, 2);
    EXPECT_DOUBLE_EQ(p.p50, 1.5);
    EXPECT_DOUBLE_EQ(p.p95, 3);
    EXPECT_DOUBLE_EQ(p.p99, 9);
}

TEST(LiveFigures, SeriesAreBoundedAndANewPassStartsThemAgain) {
    LiveFigures f;
    const int seconds = int(LiveFigures::kMaxPoints) + 50;
    for (int s = 0; s <= seconds; ++s) f.add(reading(int64_t(s) * 1000, s, 100000));
    EXPECT_EQ(f.points().size(), LiveFigures::kMaxPoints);
    EXPECT_DOUBLE_EQ(f.points().back().second, seconds);

    // The pause keeps the pass's chart; the next pass starts its own.
    LiveReading pause = reading(int64_t(seconds) * 1000, seconds, 100000);
    pause.pass = 1;
    pause.pausing = true;
    LiveFigures batch;
    LiveReading first = reading(0, 0);
    first.pass = 1;
    batch.add(first);
    first.elapsedMs = 1000;
    first.made = 7;
    batch.add(first);
    batch.add(pause);
    EXPECT_EQ(batch.points().size(), 1u);
    LiveReading second = reading(0, 0);
    second.pass = 2;
    batch.add(second);
    EXPECT_TRUE(batch.points().empty());
    EXPECT_LT(batch.recentRate(), 0);
}

}  // namespace
}  // namespace velk::runner
