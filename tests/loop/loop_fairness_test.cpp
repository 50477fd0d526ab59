// A loop's tasks take turns also when one of them works long without waiting:
// yield() lets the others and the loop's descriptors go first, the loop says
// how late it resumed its tasks, and a task can tell how long it waited for the
// processor after its readiness was seen.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "loop/lag_meter.h"
#include "loop/task_wait.h"
#include "loop_test_support.h"

namespace velk::loop::test {
namespace {

using std::chrono::milliseconds;

// Keeps the processor for ms without waiting, as long CPU work does.
void spin(milliseconds ms) {
    const Deadline until = Clock::now() + ms;
    while (Clock::now() < until) {
    }
}

TEST(LoopFairness, YieldRunsEveryOtherReadyTaskAndTheLoopsDescriptorsFirst) {
    EventLoop loop;
    SocketPair pair;
    ASSERT_GE(pair.fds[0], 0);
    std::vector<std::string> order;
    loop.spawn([&] {
        order.push_back("worker starts");
        ASSERT_EQ(write(pair.fds[1], "x", 1), 1);
        loop.yield();
        order.push_back("worker goes on");
    });
    loop.spawn([&] { order.push_back("other ready task"); });
    loop.spawn([&] {
        // Parked on a descriptor that becomes ready only while the worker works.
        EXPECT_EQ(loop.waitReadable(pair.fds[0], after(milliseconds(10000))), WaitResult::Ready);
        order.push_back("reader");
    });
    runBounded(loop);
    const std::vector<std::string> expected = {"worker starts", "other ready task", "reader",
                                               "worker goes on"};
    EXPECT_EQ(order, expected);
}

TEST(LoopFairness, APauseOfNothingStillGivesWay) {
    EventLoop loop;
    std::vector<int> order;
    loop.spawn([&] {
        order.push_back(1);
        EXPECT_TRUE(sleepOrStop(
            0, [] { return false; }, 100));
        order.push_back(3);
    });
    loop.spawn([&] { order.push_back(2); });
    runBounded(loop);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(LoopFairness, InterruptedSleepsEndButDescriptorWaitsGoOn) {
    EventLoop loop;
    SocketPair pair;
    ASSERT_GE(pair.fds[0], 0);
    bool slept = true, sleptLater = true;
    WaitResult read = WaitResult::Stopped;
    const auto start = Clock::now();
    loop.spawn([&] { slept = loop.sleepFor(milliseconds(30000)); });
    loop.spawn([&] { read = loop.waitReadable(pair.fds[0], after(milliseconds(30000))); });
    loop.spawn([&] {
        loop.sleepFor(milliseconds(20));
        loop.interruptSleeps();
        loop.sleepFor(milliseconds(20));  // ends with the interruption
        sleptLater = loop.sleepFor(milliseconds(30000));
        ASSERT_EQ(write(pair.fds[1], "x", 1), 1);
    });
    runBounded(loop);
    EXPECT_FALSE(slept);
    EXPECT_FALSE(sleptLater);
    EXPECT_EQ(read, WaitResult::Ready);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
}

TEST(LoopFairness, TheLoopMeasuresHowLateABusyTaskMadeATimer) {
    EventLoop loop;
    loop.spawn([&] { loop.sleepFor(milliseconds(5)); });
    loop.spawn([&] { spin(milliseconds(60)); });
    runBounded(loop);
    // The sleeper was due after 5 ms but ran only after the 60 ms of work.
    EXPECT_GE(loop.lag().maxMicros(), 40000);
    EXPECT_EQ(loop.lag().samples(), 1);  // the tasks' starts are not counted
}

TEST(LoopFairness, LatenessIsTheWaitForTheProcessorAfterTheReadinessWasSeen) {
    EventLoop loop;
    SocketPair first, second;
    ASSERT_GE(first.fds[0], 0);
    ASSERT_GE(second.fds[0], 0);
    int64_t lateUs = -1, beforeUs = -1;
    const auto since = Clock::now();
    loop.spawn([&] {
        EXPECT_EQ(loop.waitReadable(first.fds[0], after(milliseconds(10000))), WaitResult::Ready);
        spin(milliseconds(60));  // runs first: its readiness came first
    });
    loop.spawn([&] {
        EXPECT_EQ(loop.waitReadable(second.fds[0], after(milliseconds(10000))), WaitResult::Ready);
        using std::chrono::duration_cast, std::chrono::microseconds;
        lateUs = duration_cast<microseconds>(loop.lateness(second.fds[0], since)).count();
        // Readiness seen before `since` is not what the caller times.
        beforeUs = duration_cast<microseconds>(loop.lateness(second.fds[0], Clock::now())).count();
    });
    loop.spawn([&] {
        // Both become readable before the loop next looks, the first one first.
        ASSERT_EQ(write(first.fds[1], "x", 1), 1);
        ASSERT_EQ(write(second.fds[1], "x", 1), 1);
    });
    runBounded(loop);
    EXPECT_GE(lateUs, 40000);
    EXPECT_LT(lateUs, 30'000'000);
    EXPECT_EQ(beforeUs, 0);
}

TEST(LoopFairness, OutsideATaskNothingYieldsAndNothingIsLate) {
    yieldTask();
    EXPECT_EQ(latenessMicros(0, 0), 0);
}

TEST(LagMeter, QuantilesStayWithinTheBucketErrorAndNeverPassTheLargest) {
    struct Case {
        std::vector<int64_t> samples;
        double q;
        int64_t low, high;
    };
    const Case cases[] = {
        {{}, 0.99, 0, 0},
        {{0}, 0.5, 0, 0},
        {{5, 5, 5}, 0.99, 5, 5},
        {{1000}, 0.5, 1000, 1000},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 100000}, 0.5, 5, 5},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 100000}, 0.99, 100000, 100000},
        {std::vector<int64_t>(99, 10000), 0.99, 10000, 11250},
        {{123456789}, 0.5, 123456789, 123456789},
        {{-5}, 0.5, 0, 0},
    };
    for (const Case& c : cases) {
        LagMeter meter;
        for (int64_t s : c.samples) meter.record(s);
        const int64_t v = meter.quantileMicros(c.q);
        EXPECT_GE(v, c.low) << c.samples.size() << " samples, q " << c.q;
        EXPECT_LE(v, c.high) << c.samples.size() << " samples, q " << c.q;
    }
}

TEST(LagMeter, BucketsCoverEveryValueInOrder) {
    int previous = -1;
    for (int64_t v : {int64_t(0), int64_t(7), int64_t(8), int64_t(9), int64_t(15), int64_t(16),
                      int64_t(1) << 20, (int64_t(1) << 40) + 12345, INT64_MAX}) {
        const int b = LagMeter::bucketOf(v);
        EXPECT_GT(b, previous) << v;
        EXPECT_LT(b, LagMeter::kBuckets) << v;
        EXPECT_GE(LagMeter::bucketTop(b), v) << v;
        previous = b;
    }
}

TEST(LagMeter, MergedMetersCountBoth) {
    LagMeter a, b;
    a.record(10);
    b.record(20000);
    b.record(30);
    a.merge(b);
    EXPECT_EQ(a.samples(), 3);
    EXPECT_EQ(a.maxMicros(), 20000);
    EXPECT_EQ(a.quantileMicros(1.0), 20000);
}

}  // namespace
}  // namespace velk::loop::test
