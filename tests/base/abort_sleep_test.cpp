#include "base/abort_sleep.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace velk {
namespace {

using Clock = std::chrono::steady_clock;

int64_t millisSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(AbortSleepTest, SleepsTheWholeTimeWhenNotAborted) {
    std::atomic<int32_t> abort{0};
    const auto start = Clock::now();
    EXPECT_TRUE(sleepUnlessAborted(30, &abort));
    EXPECT_GE(millisSince(start), 30);
    EXPECT_TRUE(sleepUnlessAborted(20, nullptr));
}

TEST(AbortSleepTest, NothingToWaitForReturnsAtOnce) {
    std::atomic<int32_t> abort{1};
    // A zero or negative wait is done before the flag is even asked.
    EXPECT_TRUE(sleepUnlessAborted(0, &abort));
    EXPECT_TRUE(sleepUnlessAborted(-5, &abort));
    int asked = 0;
    EXPECT_TRUE(sleepUnlessStopped(0, [&] { return ++asked > 0; }));
    EXPECT_EQ(asked, 0);
}

TEST(AbortSleepTest, AnAbortEndsALongWaitEarly) {
    std::atomic<int32_t> abort{0};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        abort.store(1);
    });
    // An hour's pause ends within a slice of the abort; the test's own bound is
    // the hour, never a timing threshold.
    EXPECT_FALSE(sleepUnlessAborted(3600 * 1000, &abort, 10));
    stopper.join();
}

TEST(AbortSleepTest, StopIsAskedBeforeEverySlice) {
    int asked = 0;
    EXPECT_FALSE(sleepUnlessStopped(
        3600 * 1000, [&] { return ++asked == 3; }, 1));
    EXPECT_EQ(asked, 3);
}

}  // namespace
}  // namespace velk
