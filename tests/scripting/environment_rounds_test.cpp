// Users that start at once on a loop share its interpreter heap; their
// environments are made a few per round, with a look at the sockets between,
// and they share the program they all run.
#include <duktape.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "loop/event_loop.h"
#include "loop/task_wait.h"
#include "scripting/native_stack_guard.h"
#include "scripting/shared_script_heap.h"

namespace velk {
namespace {

const std::atomic<int32_t> kNeverAborted{0};

// Spawns kUsers users that each join the loop's heap, get an environment (made
// counts those that did) and, after stay(), leave.
constexpr int kUsers = 40;
void spawnUsers(loop::EventLoop& loop, int& made, const std::function<void()>& stay) {
    for (int i = 0; i < kUsers; ++i)
        loop.spawn([&made, &stay] {
            ScriptInterrupt user(kNeverAborted);
            SharedScriptHeap::Turn turn;
            turn.user = &user;
            SharedScriptHeap* heap = SharedScriptHeap::join();
            NativeStackGuard guard(user);
            if (heap->addUser(turn) != nullptr) ++made;
            stay();
            heap->removeUser(turn);
            heap->release();
        });
}

TEST(SharedScriptHeapRounds, ALoopMakesAFewEnvironmentsBetweenTwoLooksAtItsSockets) {
    loop::EventLoop loop(loop::LoopOptions{.stackBytes = 256 * 1024});
    int made = 0;
    // Users stay while the others start, as their scripts would.
    spawnUsers(loop, made, [&made] {
        for (int round = 0; round < 1000 && made < kUsers; ++round) loop::yieldTask();
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

TEST(SharedScriptHeapRounds, UsersWaitingForARoundGoOnWhenTheLoopsWaitsAreCancelled) {
    // An aborted run cancels its loops' waits: users parked for a round must
    // not stay parked, and none is lost from the heap's queue.
    loop::EventLoop loop(loop::LoopOptions{.stackBytes = 256 * 1024});
    int made = 0;
    spawnUsers(loop, made, [] {});
    loop.spawn([&] {
        loop::yieldTask();
        loop.cancelWaits();
    });
    loop.finishWhenIdle();
    loop.run();
    EXPECT_EQ(made, kUsers);
}

TEST(SharedScriptHeapPrograms, UsersOfOneScriptShareItsProgramButNotTheirGlobals) {
    // A script with much bytecode and many constants, and one that differs.
    std::string script = "var n = (typeof n === 'number' ? n : 0) + 1;\n";
    for (int i = 0; i < 100; ++i)
        script += "var v" + std::to_string(i) + " = 'constant number " + std::to_string(i) + "';\n";
    const std::string other = "var n = 40; n = n + 2;\n";
    const struct {
        const std::string* text;
        int n;
    } users[] = {{&script, 1}, {&script, 1}, {&other, 42}, {&script, 1}};
    loop::EventLoop loop(loop::LoopOptions{.stackBytes = 256 * 1024});
    std::vector<size_t> compiledBytes;
    loop.spawn([&] {
        SharedScriptHeap* heap = SharedScriptHeap::join();
        ASSERT_NE(heap, nullptr);
        // All alive at once, as on a loop.
        std::vector<std::unique_ptr<ScriptInterrupt>> interrupts;
        std::vector<SharedScriptHeap::Turn> turns(std::size(users));
        for (size_t u = 0; u < std::size(users); ++u) {
            ScriptInterrupt& user =
                *interrupts.emplace_back(std::make_unique<ScriptInterrupt>(kNeverAborted));
            turns[u].user = &user;
            NativeStackGuard guard(user);
            duk_context* thread = heap->addUser(turns[u]);
            ASSERT_NE(thread, nullptr);
            heap->enter(turns[u]);
            const size_t before = user.account().used;
            duk_push_string(thread, "script.js");
            ASSERT_EQ(heap->compile(thread, "script.js", *users[u].text), 0);
            compiledBytes.push_back(user.account().used - before);
            ASSERT_EQ(duk_pcall(thread, 0), DUK_EXEC_SUCCESS) << duk_safe_to_string(thread, -1);
            duk_pop(thread);
            duk_get_global_string(thread, "n");
            EXPECT_EQ(duk_get_int(thread, -1), users[u].n) << u;
            duk_pop(thread);
            heap->leave(turns[u]);
        }
        for (SharedScriptHeap::Turn& turn : turns) heap->removeUser(turn);
        heap->release();
    });
    loop.finishWhenIdle();
    loop.run();
    ASSERT_EQ(compiledBytes.size(), std::size(users));
    // The second user's program shares the first's bytecode and constants; after
    // another script the first is compiled again.
    EXPECT_LT(compiledBytes[1] + 2000, compiledBytes[0]);
    EXPECT_GT(compiledBytes[3], compiledBytes[1] + 2000);
}

}  // namespace
}  // namespace velk
