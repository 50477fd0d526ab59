#include "loop/event_loop.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "loop/loop_test_support.h"
#include "loop/task_wait.h"

namespace velk::loop {
namespace {

using namespace std::chrono_literals;
using test::after;
using test::runBounded;
using test::SocketPair;

TEST(EventLoop, ManySleepersWakeInOrderOfTheirDeadlines) {
    EventLoop loop;
    ASSERT_TRUE(loop.valid());
    constexpr int kTasks = test::kManyTasks;
    std::mt19937 random(11);
    std::vector<Deadline> woken;
    woken.reserve(kTasks);
    int timedOut = 0;
    for (int i = 0; i < kTasks; ++i) {
        const auto delay = std::chrono::milliseconds(random() % 200);
        loop.spawn([&, delay] {
            const Deadline deadline = Clock::now() + delay;
            if (EventLoop::current()->park(deadline) == WaitResult::TimedOut) ++timedOut;
            woken.push_back(deadline);
        });
    }
    runBounded(loop);
    EXPECT_EQ(timedOut, kTasks);
    ASSERT_EQ(woken.size(), static_cast<size_t>(kTasks));
    EXPECT_TRUE(std::is_sorted(woken.begin(), woken.end()));
    EXPECT_EQ(loop.taskCount(), 0u);
}

TEST(EventLoop, ReadWaitEndsWithTheDeadlineWhenThePeerStaysSilent) {
    EventLoop loop;
    SocketPair pair;
    ASSERT_GE(pair.fds[0], 0);
    WaitResult result = WaitResult::Ready;
    loop.spawn([&] { result = loop.waitReadable(pair.fds[0], after(50ms)); });
    runBounded(loop);
    EXPECT_EQ(result, WaitResult::TimedOut);
}

// A wait woken early leaves its timer queued; the next wait's own deadline
// still holds, whether it is later, earlier or none at all.
TEST(EventLoop, EachWaitEndsAtItsOwnDeadlineAfterEarlierWaitsWokeEarly) {
    EventLoop loop;
    SocketPair pair;
    std::vector<WaitResult> results;
    std::vector<Clock::duration> took;
    loop.spawn([&] {
        const auto measure = [&](auto wait) {
            const Deadline start = Clock::now();
            results.push_back(wait());
            took.push_back(Clock::now() - start);
        };
        // Woken at once by the peer's byte, well before its deadline.
        ASSERT_EQ(send(pair.fds[1], "x", 1, MSG_NOSIGNAL), 1);
        measure([&] { return loop.waitReadable(pair.fds[0], after(100ms)); });
        char byte;
        ASSERT_EQ(recv(pair.fds[0], &byte, 1, 0), 1);
        // Later than the entry still queued: ends at its own, not at 100 ms.
        measure([&] { return loop.waitReadable(pair.fds[0], after(300ms)); });
        // Earlier than whatever is queued.
        measure([&] { return loop.park(after(20ms)); });
    });
    loop.spawn([&] {
        loop.sleepFor(400ms);
        ASSERT_EQ(send(pair.fds[0], "y", 1, MSG_NOSIGNAL), 1);
    });
    SocketPair other;
    WaitResult untimed = WaitResult::TimedOut;
    loop.spawn([&] {
        ASSERT_EQ(send(other.fds[1], "z", 1, MSG_NOSIGNAL), 1);
        loop.waitReadable(other.fds[0], after(50ms));  // woken at once; its entry stays queued
        // No deadline: the entry left behind fires at 50 ms and must not end
        // this wait, which only the byte sent at 400 ms does.
        untimed = loop.waitReadable(pair.fds[1]);
    });
    runBounded(loop);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0], WaitResult::Ready);
    EXPECT_EQ(results[1], WaitResult::TimedOut);
    EXPECT_GE(took[1], 300ms);
    EXPECT_EQ(results[2], WaitResult::TimedOut);
    EXPECT_GE(took[2], 20ms);
    EXPECT_EQ(untimed, WaitResult::Ready);
}

TEST(EventLoop, ReadWaitEndsWhenThePeerWritesOrCloses) {
    for (bool closePeer : {false, true}) {
        EventLoop loop;
        SocketPair pair;
        ASSERT_GE(pair.fds[0], 0);
        WaitResult result = WaitResult::TimedOut;
        ssize_t got = -2;
        loop.spawn([&] {
            char byte = 0;
            // First read finds nothing: the wait must then see the peer's move.
            EXPECT_LT(recv(pair.fds[0], &byte, 1, 0), 0);
            result = loop.waitReadable(pair.fds[0], after(30s));
            got = recv(pair.fds[0], &byte, 1, 0);
            loop.forget(pair.fds[0]);
        });
        loop.spawn([&] {
            loop.sleepFor(10ms);
            if (closePeer) {
                close(pair.fds[1]);
                pair.fds[1] = -1;
            } else {
                EXPECT_EQ(send(pair.fds[1], "x", 1, MSG_NOSIGNAL), 1);
            }
        });
        runBounded(loop);
        EXPECT_EQ(result, WaitResult::Ready);
        EXPECT_EQ(got, closePeer ? 0 : 1);
    }
}

TEST(EventLoop, StopWakesEveryParkedTaskAndLaterWaitsReturnAtOnce) {
    EventLoop loop;
    constexpr int kTasks = 100;
    std::vector<std::unique_ptr<SocketPair>> pairs;
    for (int i = 0; i < kTasks; ++i) pairs.push_back(std::make_unique<SocketPair>());
    std::atomic<int> parked{0};
    std::vector<WaitResult> results(3 * kTasks, WaitResult::Ready);
    std::vector<bool> slept(kTasks, true);
    for (int i = 0; i < kTasks; ++i) {
        loop.spawn([&, i] {
            ++parked;
            results[i] = loop.waitReadable(pairs[i]->fds[0]);  // no deadline
            results[kTasks + i] = loop.park();
            results[2 * kTasks + i] = loop.waitWritable(pairs[i]->fds[1], after(1h));
        });
        loop.spawn([&, i] { slept[i] = loop.sleepFor(1h); });
    }
    std::thread stopper([&] {
        for (int i = 0; i < 3000 && parked.load() < kTasks; ++i) std::this_thread::sleep_for(10ms);
        loop.stop();
    });
    loop.run();  // returns only because stop() woke them all
    stopper.join();
    EXPECT_TRUE(loop.stopping());
    for (WaitResult result : results) EXPECT_EQ(result, WaitResult::Stopped);
    for (bool s : slept) EXPECT_FALSE(s);
}

TEST(EventLoop, CancelledWaitsEndButTheLoopRunsLaterTasksUntilIdle) {
    EventLoop loop;
    SocketPair pair;
    std::atomic<bool> parked{false};
    WaitResult first = WaitResult::Ready;
    bool slept = true;
    int laterRan = 0;
    loop.spawn([&] {
        parked = true;
        first = loop.waitReadable(pair.fds[0], after(1h));
        slept = loop.sleepFor(1h);  // cancelled already: returns at once
    });
    std::thread canceller([&] {
        for (int i = 0; i < 3000 && !parked.load(); ++i) std::this_thread::sleep_for(10ms);
        loop.cancelWaits();
        // A task that comes after the cancel still runs to its end.
        loop.spawn([&] {
            ++laterRan;
            if (loop.park(after(1h)) == WaitResult::Stopped) ++laterRan;
        });
        loop.finishWhenIdle();
    });
    loop.run();  // the canceller always lets it finish
    canceller.join();
    EXPECT_EQ(first, WaitResult::Stopped);
    EXPECT_FALSE(slept);
    EXPECT_EQ(laterRan, 2);
    EXPECT_TRUE(loop.cancelled());
}

TEST(EventLoop, ExceptionInATaskIsReportedAndTheOthersGoOn) {
    EventLoop loop;
    std::vector<std::string> reported;
    loop.setFailureHandler([&](const std::string& what) { reported.push_back(what); });
    int finished = 0;
    loop.spawn([&] {
        loop.sleepFor(5ms);
        throw std::runtime_error("bad response");
    });
    for (int i = 0; i < 10; ++i) {
        loop.spawn([&] {
            loop.sleepFor(10ms);
            ++finished;
        });
    }
    runBounded(loop);
    EXPECT_EQ(finished, 10);
    EXPECT_EQ(loop.failureCount(), 1u);
    EXPECT_EQ(reported, std::vector<std::string>{"bad response"});
}

TEST(EventLoop, PostsFromOtherThreadsRunOnTheLoopAndWakeTasks) {
    EventLoop loop;
    EventLoop::Task* waiter = nullptr;
    WaitResult result = WaitResult::Stopped;
    std::atomic<bool> parked{false};
    loop.spawn([&] {
        waiter = loop.currentTask();
        parked = true;
        result = loop.park(after(60s));
    });
    std::thread poster([&] {
        for (int i = 0; i < 3000 && !parked.load(); ++i) std::this_thread::sleep_for(1ms);
        loop.post([&] { loop.wake(waiter); });
    });
    runBounded(loop);
    poster.join();
    EXPECT_EQ(result, WaitResult::Ready);
}

TEST(EventLoop, ATaskSpawnedByTheLastTaskStillRuns) {
    EventLoop loop;
    int ran = 0;
    loop.spawn([&] {
        loop.spawn([&] {
            loop.sleepFor(1ms);
            ++ran;
        });
    });
    runBounded(loop);
    EXPECT_EQ(ran, 1);
}

TEST(EventLoop, WaitsOutsideATaskReturnStopped) {
    EventLoop loop;
    SocketPair pair;
    EXPECT_EQ(loop.waitReadable(pair.fds[0]), WaitResult::Stopped);
    EXPECT_EQ(loop.park(), WaitResult::Stopped);
}

[[gnu::noinline]] int deepSum(int depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth & 0x7f);
    return depth == 0 ? frame[0] : deepSum(depth - 1) + frame[0];
}

TEST(EventLoop, ATaskPausingKeepsOnlyTheStackPagesItIsIn) {
    constexpr size_t kStack = 256 * 1024;
    EventLoop loop(LoopOptions{.stackBytes = kStack});
    uintptr_t low = 0;
    std::vector<unsigned char> pages(kStack / 4096);
    auto resident = [&] {
        EXPECT_EQ(mincore(reinterpret_cast<void*>(low), kStack, pages.data()), 0);
        return std::count_if(pages.begin(), pages.end(), [](unsigned char p) { return p & 1; });
    };
    ptrdiff_t deep = 0, pausing = 0;
    int first = 0, again = 0;
    loop.spawn([&] {
        low = currentStackLow();
        first = deepSum(40);  // about 40 KiB down
        deep = resident();
        loop.sleepFor(20ms);
        again = deepSum(40);  // the pages come back, zeroed, and work
    });
    loop.spawn([&] {
        loop.sleepFor(10ms);
        pausing = resident();
    });
    loop.finishWhenIdle();
    runBounded(loop);
    EXPECT_GE(deep, 10);
    EXPECT_LE(pausing, 2);
    EXPECT_EQ(first, again);
}

}  // namespace
}  // namespace velk::loop
