// Users that start at once on a loop share its interpreter heap; their
// environments are made a few per round, with a look at the sockets between.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "loop/event_loop.h"
#include "loop/task_wait.h"
#include "scripting/native_stack_guard.h"
#include "scripting/shared_script_heap.h"

namespace velk {
namespace {

TEST(SharedScriptHeapRounds, ALoopMakesAFewEnvironmentsBetweenTwoLooksAtItsSockets) {
    constexpr int kUsers = 40;
    const std::atomic<int32_t> neverAborted{0};
    loop::EventLoop loop(loop::LoopOptions{.stackBytes = 256 * 1024});
    int made = 0;
    for (int i = 0; i < kUsers; ++i)
        loop.spawn([&] {
            ScriptInterrupt user(neverAborted);
            SharedScriptHeap::Turn turn;
            turn.user = &user;
            SharedScriptHeap* heap = SharedScriptHeap::join();
            NativeStackGuard guard(user);
            EXPECT_NE(heap->addUser(turn), nullptr);
            ++made;
            // Users stay while the others start, as their scripts would.
            for (int round = 0; round < 1000 && made < kUsers; ++round) loop::yieldTask();
            heap->removeUser(turn);
            heap->release();
        });
    // A yielded task runs once per look at the sockets.
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
    ASSERT_EQ(madeByRound.back(), kUsers);
    for (size_t i = 0; i < madeByRound.size(); ++i)
        EXPECT_LE(madeByRound[i] - (i ? madeByRound[i - 1] : 0),
                  int(SharedScriptHeap::kEnvironmentsPerRound));
}

}  // namespace
}  // namespace velk
