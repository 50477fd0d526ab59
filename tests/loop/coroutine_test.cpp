#include "loop/coroutine.h"

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <vector>

#include "common/sanitizer.h"

namespace velk::loop {
namespace {

Coroutine makeCoroutine(std::function<void()> body) {
    return Coroutine(CoroutineStack::map(kDefaultStackBytes), std::move(body));
}

TEST(Coroutine, SuspendsAtAnyDepthAndContinuesWhereItLeftOff) {
    std::vector<int> trace;
    std::function<void(int)> nested = [&](int depth) {
        if (depth == 0) {
            trace.push_back(1);
            Coroutine::suspend();
            trace.push_back(3);
            return;
        }
        nested(depth - 1);
    };
    Coroutine coroutine = makeCoroutine([&] {
        nested(20);
        Coroutine::suspend();
        trace.push_back(5);
    });
    coroutine.resume();
    trace.push_back(2);
    coroutine.resume();
    trace.push_back(4);
    EXPECT_FALSE(coroutine.finished());
    coroutine.resume();
    EXPECT_TRUE(coroutine.finished());
    EXPECT_FALSE(coroutine.failed());
    EXPECT_EQ(trace, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(Coroutine::current(), nullptr);
}

TEST(Coroutine, ExceptionIsCaughtAtTheEntryAndKept) {
    struct Case {
        std::function<void()> body;
        const char* failure;
    };
    const Case cases[] = {
        {[] {
             Coroutine::suspend();
             throw std::runtime_error("socket gone");
         },
         "socket gone"},
        {[] { throw 42; }, "unknown exception"},
    };
    for (const auto& c : cases) {
        Coroutine coroutine = makeCoroutine(c.body);
        for (int i = 0; i < 3 && !coroutine.finished(); ++i) coroutine.resume();
        EXPECT_TRUE(coroutine.finished());
        EXPECT_TRUE(coroutine.failed());
        EXPECT_EQ(coroutine.failure(), c.failure);
    }
}

TEST(Coroutine, FloatingPointStateSurvivesSwitches) {
    double sum = 0;
    Coroutine coroutine = makeCoroutine([&] {
        for (int i = 1; i <= 4; ++i) {
            sum += 1.0 / i;
            Coroutine::suspend();
        }
    });
    while (!coroutine.finished()) coroutine.resume();
    EXPECT_DOUBLE_EQ(sum, 1.0 + 0.5 + 1.0 / 3 + 0.25);
}

TEST(Coroutine, StackIsReusableAfterFinishing) {
    Coroutine first = makeCoroutine([] { Coroutine::suspend(); });
    first.resume();
    EXPECT_FALSE(first.takeStack().valid());  // still in use
    first.resume();
    CoroutineStack stack = first.takeStack();
    ASSERT_TRUE(stack.valid());
    int runs = 0;
    Coroutine second(std::move(stack), [&] { ++runs; });
    second.resume();
    EXPECT_EQ(runs, 1);
}

[[gnu::noinline]] int recurse(int depth) {
    volatile char frame[512];
    frame[0] = static_cast<char>(depth);
    if (depth == 0) return frame[0];
    return recurse(depth - 1) + frame[0];
}

TEST(CoroutineDeathTest, StackOverflowHitsTheGuardPage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto overflow = [] {
        Coroutine coroutine(CoroutineStack::map(16 * 1024), [] { recurse(1000); });
        coroutine.resume();
    };
#if defined(__SANITIZE_THREAD__)
    const bool sanitized = true;
#else
    const bool sanitized = velk::test::underAddressSanitizer();
#endif
    if (sanitized) {
        // The sanitizer reports the fault itself and exits.
        EXPECT_DEATH(overflow(), "");
    } else {
        EXPECT_EXIT(overflow(), testing::KilledBySignal(SIGSEGV), "");
    }
}

TEST(CoroutineStack, RefusesAbsurdSizes) {
    EXPECT_FALSE(CoroutineStack::map(0).valid());
    EXPECT_FALSE(CoroutineStack::map(size_t{1} << 40).valid());
    CoroutineStack stack = CoroutineStack::map(5000);
    ASSERT_TRUE(stack.valid());
    EXPECT_EQ(stack.size() % 4096, 0u);
    EXPECT_GE(stack.size(), 5000u);
    EXPECT_EQ(static_cast<char*>(stack.bottom()) + stack.size(), stack.top());
}

}  // namespace
}  // namespace velk::loop
