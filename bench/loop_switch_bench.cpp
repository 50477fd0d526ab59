// What a coroutine switch costs, against the alternatives it was chosen over:
// ucontext (which saves the signal mask with a system call per switch) and a
// hand-over between two threads (today's thread per user).  Also the loop's
// own park/wake path between two tasks.
#include <benchmark/benchmark.h>
#include <ucontext.h>

#include <semaphore>
#include <thread>

#include "loop/context_switch.h"
#include "loop/coroutine.h"
#include "loop/event_loop.h"

namespace {

using velk::loop::Coroutine;
using velk::loop::CoroutineStack;

// The bare register switch, without Coroutine's bookkeeping.
velk::loop::StackPointer g_rawMain;
velk::loop::StackPointer g_rawOther;

[[noreturn]] void rawBody() {
    for (;;) velk::loop::velk_loop_switch(&g_rawOther, g_rawMain);
}

void BM_RawSwitchRoundTrip(benchmark::State& state) {
    CoroutineStack stack = CoroutineStack::map(velk::loop::kDefaultStackBytes);
    g_rawOther = velk::loop::prepareContext(stack.top(), rawBody);
    for (auto _ : state) velk::loop::velk_loop_switch(&g_rawMain, g_rawOther);
}
BENCHMARK(BM_RawSwitchRoundTrip);

// One iteration = resume + suspend: two switches.
void BM_CoroutineRoundTrip(benchmark::State& state) {
    bool done = false;
    Coroutine coroutine(CoroutineStack::map(velk::loop::kDefaultStackBytes), [&] {
        while (!done) Coroutine::suspend();
    });
    for (auto _ : state) coroutine.resume();
    done = true;
    coroutine.resume();
}
BENCHMARK(BM_CoroutineRoundTrip);

ucontext_t g_main;
ucontext_t g_other;
bool g_done = false;

void ucontextBody() {
    while (!g_done) swapcontext(&g_other, &g_main);
}

void BM_UcontextRoundTrip(benchmark::State& state) {
    CoroutineStack stack = CoroutineStack::map(velk::loop::kDefaultStackBytes);
    getcontext(&g_other);
    g_other.uc_stack.ss_sp = stack.bottom();
    g_other.uc_stack.ss_size = stack.size();
    g_other.uc_link = &g_main;
    makecontext(&g_other, ucontextBody, 0);
    g_done = false;
    for (auto _ : state) swapcontext(&g_main, &g_other);
    g_done = true;
    swapcontext(&g_main, &g_other);
}
BENCHMARK(BM_UcontextRoundTrip);

// One iteration = a hand-over to another thread and back.
void BM_ThreadRoundTrip(benchmark::State& state) {
    std::binary_semaphore ping(0);
    std::binary_semaphore pong(0);
    bool done = false;
    std::thread other([&] {
        for (;;) {
            ping.acquire();
            if (done) return;
            pong.release();
        }
    });
    for (auto _ : state) {
        ping.release();
        pong.acquire();
    }
    done = true;
    ping.release();
    other.join();
}
BENCHMARK(BM_ThreadRoundTrip)->UseRealTime();

// One iteration = task A wakes B and parks, B wakes A and parks: two trips
// through the loop's ready queue.
void BM_LoopParkWakeRoundTrip(benchmark::State& state) {
    velk::loop::EventLoop loop;
    velk::loop::EventLoop::Task* a = nullptr;
    velk::loop::EventLoop::Task* b = nullptr;
    bool done = false;
    loop.spawn([&] {
        b = loop.currentTask();
        while (!done) {
            loop.wake(a);
            loop.park();
        }
    });
    loop.spawn([&] {
        a = loop.currentTask();
        for (auto _ : state) {
            loop.wake(b);
            loop.park();
        }
        done = true;
        loop.wake(b);
    });
    loop.finishWhenIdle();
    loop.run();
}
BENCHMARK(BM_LoopParkWakeRoundTrip);

}  // namespace

BENCHMARK_MAIN();
