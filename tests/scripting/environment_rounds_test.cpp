// The script users of a loop share its interpreter heap; making each one's
// global environment takes a few hundred microseconds, so a loop that starts
// thousands at once must look at its sockets between them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "loop/event_loop.h"
#include "loop/task_wait.h"
#include "scripting/native_stack_guard.h"
#include "scripting/script_interrupt.h"
#include "scripting/shared_script_heap.h"

namespace velk {
namespace {

TEST(SharedScriptHeapRounds, ALoopMakesAFewEnvironmentsBetweenTwoLooksAtItsSockets) {
    constexpr int kUsers = 40;
    const std::atomic<int32_t> neverAborted{0};
    loop::LoopOptions options;
    options.stackBytes = 256 * 1024;
    loop::EventLoop loop(options);
    int made = 0;
    int failed = 0;
    for (int i = 0; i < kUsers; ++i)
        loop.spawn([&] {
            ScriptInterrupt user(neverAborted);
            SharedScriptHeap::Turn turn;
            turn.user = &user;
            SharedScriptHeap* heap = SharedScriptHeap::join();
            ASSERT_NE(heap, nullptr);
            NativeStackGuard guard(user);
            const bool added = heap->addUser(turn) != nullptr;
            failed += added ? 0 : 1;
            ++made;
            // Users stay, as they do while their scripts run.
            for (int round = 0; round < 1000 && made < kUsers; ++round) loop::yieldTask();
            if (added) heap->removeUser(turn);
            heap->release();
        });
    // Runs once per look at the sockets (a yielded task waits for the next one).
    std::vector<int> madeByRound;
    loop.spawn([&] {
        for (int round = 0; round < 1000 && made < kUsers; ++round) {
            madeByRound.push_back(made);
            loop::yieldTask();
        }
        madeByRound.push_back(made);
    });
    loop.finishWhenIdle();
    loop.run();
    EXPECT_EQ(failed, 0);
    ASSERT_EQ(madeByRound.back(), kUsers);
    int most = madeByRound.front();
    for (size_t i = 1; i < madeByRound.size(); ++i)
        most = std::max(most, madeByRound[i] - madeByRound[i - 1]);
    EXPECT_LE(most, int(SharedScriptHeap::kEnvironmentsPerRound));
}

}  // namespace
}  // namespace velk
