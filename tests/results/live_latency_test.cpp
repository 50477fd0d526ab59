// The live response times: bucket bounds, percentiles within the promised
// error, seconds taken as differences, and users adding from many threads
// while the sampler closes seconds.
#include "results/live_latency.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <thread>
#include <vector>

namespace velk {
namespace {

TEST(LiveLatency, EveryTimeFallsInABucketWhoseMiddleIsClose) {
    // Small times exactly, the rest within half a bucket (1/16 of the time);
    // past the last bucket, the last one.
    const int64_t times[] = {0,  1,    7,    8,    9,      15,        16,
                             17, 1000, 1023, 1024, 999999, 123456789, (int64_t(1) << 31) - 1};
    int previous = -1;
    for (int64_t t : times) {
        const int b = LiveLatency::bucketOf(t);
        ASSERT_GE(b, 0);
        ASSERT_LT(b, LiveLatency::kBuckets);
        EXPECT_GE(b, previous) << t;
        previous = b;
        EXPECT_LE(std::abs(LiveLatency::bucketMiddle(b) - double(t)), double(t) / 16 + 0.5) << t;
    }
    EXPECT_EQ(LiveLatency::bucketOf(int64_t(1) << 40), LiveLatency::kBuckets - 1);
    EXPECT_EQ(LiveLatency::bucketOf(-5), 0);
}

TEST(LiveLatency, ASecondsPercentilesComeFromItsOwnResponses) {
    LiveLatency live;
    live.publishSecond();
    EXPECT_EQ(live.lastSecond().timed, 0);
    EXPECT_EQ(live.lastSecond().p50Ms, 0);

    // 1 ms to 100 ms in steps of 1 ms.
    for (int ms = 1; ms <= 100; ++ms) live.record(int64_t(ms) * 1000);
    live.record(-1);  // an error is not timed
    live.publishSecond();
    LiveLatency::Second s = live.lastSecond();
    EXPECT_EQ(s.timed, 100);
    EXPECT_NEAR(s.p50Ms, 50, 50 * 0.0625);
    EXPECT_NEAR(s.p95Ms, 95, 95 * 0.0625);
    EXPECT_NEAR(s.p99Ms, 99, 99 * 0.0625);

    // The next second holds only its own responses.
    for (int i = 0; i < 10; ++i) live.record(2000000);
    live.publishSecond();
    s = live.lastSecond();
    EXPECT_EQ(s.timed, 10);
    EXPECT_NEAR(s.p50Ms, 2000, 2000 * 0.0625);
    EXPECT_NEAR(s.p99Ms, 2000, 2000 * 0.0625);

    live.clear();
    EXPECT_EQ(live.lastSecond().timed, 0);
    live.publishSecond();
    EXPECT_EQ(live.lastSecond().timed, 0);
}

TEST(LiveLatency, UsersOnManyThreadsLoseNoResponse) {
    auto live = std::make_unique<LiveLatency>();
    constexpr int kThreads = 4;
    constexpr int kEach = 20000;
    std::vector<std::thread> users;
    for (int t = 0; t < kThreads; ++t)
        users.emplace_back([&live, t] {
            for (int i = 0; i < kEach; ++i) live->record(int64_t(1000 + t * 100 + i % 50));
        });
    int64_t seen = 0;
    // The sampler closes seconds meanwhile (bounded in count).
    for (int i = 0; i < 50; ++i) {
        live->publishSecond();
        seen += live->lastSecond().timed;
    }
    for (std::thread& u : users) u.join();
    live->publishSecond();
    seen += live->lastSecond().timed;
    EXPECT_EQ(seen, int64_t(kThreads) * kEach);
}

}  // namespace
}  // namespace velk
