#include "run/run_driver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string_view>
#include <thread>

#include "base/abort_sleep.h"
#include "base/message.h"
#include "loop/loop_group.h"
#include "net/tls_client_context.h"
#include "platform/clock.h"
#include "platform/file_io.h"
#include "platform/resource_limits.h"
#include "platform/thread.h"
#include "run/memory_estimate.h"
#include "run/test_run.h"
#include "run/user_records.h"
#include "scripting/script_interrupt.h"

namespace velk {
namespace {

constexpr int kWatchIntervalMs = 2000;
// One microsecond, the unit times are measured in.
constexpr double kSmallestRoundMs = 0.001;
// A user task's stack: the session code at its deepest (TLS handshake, name
// look-up, regex) fits with room to spare, and only touched pages cost memory.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr size_t kUserTaskStack = 1024 * 1024;
#else
constexpr size_t kUserTaskStack = 128 * 1024;
#endif
// A script-driven user's task runs the interpreter too, whose recursion is
// bounded by a reserve (native_stack_guard.h): the stack a user's thread had.
constexpr size_t kScriptTaskStack = platform::kUserThreadStack;
// Descriptors a process needs besides one connection per user.
constexpr int64_t kSpareDescriptors = 64;

bool checkNames(const TestRun& set, const Sequence& seq) {
    for (size_t i = 0; i < seq.length(); ++i)
        if (set.test.requests.find(seq[i].name) == set.test.requests.end()) {
            report("Request %s not found!\n", seq[i].name.c_str());
            return false;
        }
    return true;
}

// A secure test whose sslver names no protocol here: said once, not only in
// every user's log (which may be off).
void reportUnavailableTls(const TestRun& set) {
    bool secure = set.test.options.secure != 0;
    for (const auto& [name, def] : set.test.requests) secure = secure || def->secure == 2;
    std::string why;
    if (!secure || net::TlsClientContext::forVersion(set.test.options.sslver, why) != nullptr)
        return;
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r')) why.pop_back();
    report("Secure requests cannot be made: %s\n", why.c_str());
}

bool prepare(TestRun& set) {
    const GeneralOptions& o = set.test.options;
    if (set.run) {
        report("Error: the previous run must be cleaned up before another one starts!\n");
        return false;
    }
    if (!checkNames(set, set.test.initSeq)) return false;
    if (!set.test.scriptDriven()) {
        if (set.test.testSeq.length() == 0) {
            report("Error: empty test sequence!\n");
            return false;
        }
        if (!checkNames(set, set.test.testSeq)) return false;
    }
    if (!checkNames(set, set.test.finalSeq)) return false;
    // Times are whole microseconds: a step below one cannot be rounded to (the
    // formula would make every time 0), so such a value is refused, not obeyed.
    if (o.round > 0 && o.round < kSmallestRoundMs) {
        report("Error: round=%g is below %g ms, the smallest step times can be rounded to!\n",
               o.round, kSmallestRoundMs);
        return false;
    }

    // Users would silently run without their logs: refused before anyone starts.
    if (o.log) {
        std::string dir = o.logdir;
        if (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
        std::string why;
        if (!platform::isWritableDirectory(dir.empty() ? "." : dir, why)) {
            report("Error: the log directory %s %s!\n", dir.empty() ? "." : dir.c_str(),
                   why.c_str());
            return false;
        }
    }

    // A run the machine cannot hold would take its memory for minutes and then
    // fail: refused before anything is made, unless the script says otherwise.
    if (o.memorycheck != 0) {
        const MemoryEstimate estimate = estimateRunMemory(set);
        const int64_t available = platform::availableMemoryBytes();
        if (available >= 0 && estimate.total > available) {
            constexpr double kMiB = 1024.0 * 1024.0;
            report(
                "Error: this run needs about %.0f MB of memory (users %.0f MB, request sections "
                "%.0f MB, results %.0f MB), more than the %.0f MB this machine has available; "
                "set memorycheck=0 to run anyway!\n",
                double(estimate.total) / kMiB, double(estimate.users) / kMiB,
                double(estimate.requests) / kMiB, double(estimate.results) / kMiB,
                double(available) / kMiB);
            return false;
        }
    }

    const int64_t needed = int64_t(o.clients) + kSpareDescriptors;
    if (int64_t limit = platform::raiseOpenFileLimit(needed); limit >= 0 && limit < needed)
        report(
            "Warning: %d users need about %lld open files, but only %lld are allowed (ulimit "
            "-n)!\n",
            o.clients, static_cast<long long>(needed), static_cast<long long>(limit));

    reportUnavailableTls(set);
    set.shared.httpCounters.clearStatusCodes();
    set.shared.httpCounters.clearTraffic();
    set.shared.liveRequests.prepare(latencySlotNames(set));
    set.shared.liveLag.clear();
    set.shared.httpCounters.clearUnresolved();
    set.shared.errorCounters.clear();
    set.shared.liveErrors.clear();
    set.shared.liveLatency.clear();
    set.shared.usersActive.store(0);
    set.shared.currentTarget.set(o.server, o.secure && o.port == 80 ? 443 : o.port);
    auto run = std::make_unique<RunState>();
    // Users keep their global index when other processes run the rest, so that
    // everything drawn from the index comes out as in a run of all of them.
    for (int32_t u = 0; u < o.clients; ++u) {
        if (!set.userShare.owns(u)) continue;
        auto user = std::make_unique<UserSession>(set, u);
        user->prepare();
        run->users.push_back(std::move(user));
    }
    run->threads.resize(run->users.size());
    set.userShare.maxRequests =
        set.userShare.shareOfLimit(o.maxrequests, o.clients, int64_t(run->users.size()));
    set.run = std::move(run);
    return true;
}

void userEnded(TestRun& set, RunState& run) {
    {
        MutexLock lock(run.liveMutex);
        --run.live;
    }
    set.shared.usersActive.fetch_sub(1, std::memory_order_relaxed);
    run.liveChanged.signalAll();
}

void runUser(TestRun& set, RunState& run, UserSession& user) {
    set.shared.usersActive.fetch_add(1, std::memory_order_relaxed);
    try {
        user.run();
    } catch (const std::bad_alloc&) {
        report("FATAL EXCEPTION IN THREAD %d: out of memory!\r\n", user.index());
    } catch (...) {
        report("FATAL EXCEPTION IN THREAD %d!\r\n", user.index());
    }
    userEnded(set, run);
}

// A user wakes for every answer.  Taking the processor from whoever runs then
// (often the server under test, when it shares the machine, or another user about
// to send) costs a switch per request; waiting for it to block costs microseconds
// and lets both sides work in batches.  For the user threads and the loops' alike.
void preferThroughput() {
    platform::preferThroughputScheduling();
}

// Script-driven users are tasks, sharing their loop's interpreter heap
// (shared_script_heap.h); VELK_SCRIPT_TASKS=0 gives each a thread and a heap of
// its own again, the way back should a script need it (docs/event-loop.md).
bool scriptUsersOnLoops() {
    const char* value = std::getenv("VELK_SCRIPT_TASKS");
    return value == nullptr || std::string_view(value) != "0";
}

// Users run as tasks on event loops (script-driven ones unless
// scriptUsersOnLoops() says no: then each keeps a thread); a script gives way
// while it waits and every so often while it computes.  Null when the loops
// cannot be made: the users then get threads too.
std::unique_ptr<loop::LoopGroup> makeLoops(TestRun& set, RunState& run) {
    if (run.users.empty() || (set.test.scriptDriven() && !scriptUsersOnLoops())) return nullptr;
    loop::LoopOptions options;
    options.stackBytes = set.test.scriptDriven() ? kScriptTaskStack : kUserTaskStack;
    size_t count =
        set.loopThreads > 0 ? size_t(set.loopThreads) : size_t(std::thread::hardware_concurrency());
    count = std::clamp<size_t>(count, 1, run.users.size());
    auto loops = std::make_unique<loop::LoopGroup>(count, options, preferThroughput);
    if (!loops->started()) return nullptr;
    // A task whose stack could not be made never runs its user.
    loops->setFailureHandler([&set, &run](const std::string&) {
        report("Session thread creating error!\n\n");
        set.shared.usersActive.fetch_add(1, std::memory_order_relaxed);
        userEnded(set, run);
    });
    return loops;
}

void startUser(TestRun& set, RunState& run, size_t u) {
    UserSession& user = *run.users[u];
    {
        MutexLock lock(run.liveMutex);
        ++run.live;
    }
    if (run.loops) {
        run.loops->spawn([&set, &run, &user] { runUser(set, run, user); });
        return;
    }
    const bool started = run.threads[u].start(platform::kUserThreadStack, [&set, &run, &user] {
        preferThroughput();
        runUser(set, run, user);
    });
    if (!started) {
        {
            MutexLock lock(run.liveMutex);
            --run.live;
        }
        report("Session thread creating error!\n\n");
    }
}

// Waits up to ms for the last user to end; true once none is running.
bool allUsersEndedWithin(RunState& run, int64_t ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    MutexLock lock(run.liveMutex);
    while (run.live != 0 && run.liveChanged.waitUntil(run.liveMutex, deadline)) {
    }
    return run.live == 0;
}

// How far an abort has reached the users on the loops.
struct AbortPassing {
    int64_t seenAt = -1;  // tick when the driver saw the flag
    bool sleepsEnded = false;
    bool done = false;  // nothing more to pass on
};

// Users on the loops see an abort when their waits are cancelled: the flag
// itself is only read between requests.  With abortseq 0 a user finishes the
// pass it is in: only its pauses are cut short, its requests still go.  A
// script may still make requests in its grace after an abort (its own
// watchdog stops it after that), as a script user on a thread may: its pauses
// end at once, its waits are cancelled only once the grace of its requests
// is over.
void passOnAbort(TestRun& set, RunState& run, AbortPassing& passing) {
    if (passing.done || !run.loops || set.shared.abortFlag.load(std::memory_order_relaxed) == 0)
        return;
    const int64_t now = platform::tickMillis();
    if (passing.seenAt < 0) passing.seenAt = now;
    if (set.test.scriptDriven()) {
        if (!passing.sleepsEnded) run.loops->interruptSleeps();
        passing.sleepsEnded = true;
        if (now - passing.seenAt < kRunawayGraceMs + 1000) return;
        run.loops->cancelWaits();
    } else if (set.test.options.abortseq) {
        run.loops->cancelWaits();
    } else {
        run.loops->interruptSleeps();
    }
    passing.done = true;
}

bool aborted(const TestRun& set) {
    return set.shared.abortFlag.load(std::memory_order_relaxed) != 0;
}

int32_t progressTotal(const TestRun& set) {
    const GeneralOptions& o = set.test.options;
    if (set.test.scriptDriven()) return -1;
    const int64_t users = set.run ? int64_t(set.run->users.size()) : int64_t(o.clients);
    int64_t total = users * int64_t(set.test.testSeq.length()) * int64_t(o.requests);
    const int32_t limit = set.userShare.maxRequests;
    if (limit > 0 && limit < total) total = limit;
    return total > INT32_MAX ? INT32_MAX : int32_t(total);
}

// Milliseconds until the time limit, INT64_MAX without one: the run ends when
// maxtime seconds have passed, not at the next whole second after them.
int64_t timeLeft(const TestRun& set) {
    const int32_t maxtime = set.test.options.maxtime;
    if (maxtime <= 0) return INT64_MAX;
    return set.shared.runTimes.startTick + int64_t(maxtime) * 1000 - platform::tickMillis();
}

bool timeIsUp(const TestRun& set) {
    return timeLeft(set) <= 0;
}

// Waits for the host's barrier, where processes share the run: with a ramp-up the
// users begin as their threads start, so the barrier comes before the first one.
void passBarrier(TestRun& set) {
    const UserShare& share = set.userShare;
    if (!share.barrier) return;
    if (share.barrier(share.barrierContext) == 0) set.shared.abortFlag.store(1);
    // The processes leave the barrier together: their users' times count from here.
    set.shared.runTimes.wallStart = platform::wallSeconds();
    set.shared.runTimes.startTick = platform::tickMillis();
}

// Sleeps up to ms, less when the run is stopped meanwhile; an abort or the time
// limit ends the ramp-up early, since late users would only stop again.
void rampPause(TestRun& set, int64_t ms) {
    sleepUnlessStopped(ms, [&set] {
        if (set.shared.abortFlag.load(std::memory_order_relaxed)) return true;
        if (timeIsUp(set)) set.shared.abortFlag.store(1);
        return false;
    });
}

// Milliseconds between starting local user u and the next one.
int64_t rampStep(const TestRun& set, const RunState& run, size_t u) {
    const int32_t step = run.users[u + 1]->index() - run.users[u]->index();
    return int64_t(set.test.options.delaystart) * step;
}

void drive(TestRun& set) {
    const GeneralOptions& o = set.test.options;
    RunState& run = *set.run;
    run.loops = makeLoops(set, run);
    if (run.loops)
        for (size_t i = 0; i < run.loops->size(); ++i)
            run.loops->loop(i).setLiveLag(&set.shared.liveLag.slot(i));
    AbortPassing abortPassedOn;
    // Without a ramp-up the users begin together once the gate opens: tasks are
    // simply started then, threads are made first and wait at the gate.
    const bool startAtGate = run.loops && o.delaystart == 0;
    set.shared.runTimes.wallStart = platform::wallSeconds();
    set.shared.startGate.close();
    set.shared.runTimes.startTick = platform::tickMillis();
    if (o.delaystart > 0) {
        passBarrier(set);
        if (!run.users.empty()) rampPause(set, int64_t(o.delaystart) * run.users[0]->index());
    }
    // The timeline counts from when the users' clock starts: after the barrier.
    const auto startTimeline = [&shared = set.shared, &run] {
        run.timeline.start({&shared.httpCounters.httpRequests,
                            {&shared.liveErrors.network, &shared.liveErrors.http,
                             &shared.liveErrors.fail, &shared.liveErrors.timeout},
                            &shared.usersActive,
                            &shared.liveLatency});
    };
    if (o.delaystart > 0) startTimeline();

    // An abort, or the time limit, ends the ramp-up: users not started by then
    // never start (their entries stay "not executed").
    for (size_t u = 0; u < run.users.size() && !startAtGate && !aborted(set); ++u) {
        startUser(set, run, u);
        if (o.delaystart > 0 && u + 1 < run.users.size()) {
            // Ramp up one user every delaystart ms.  A shard steps over the
            // users of the others, so every user starts when it would in one
            // process.
            rampPause(set, rampStep(set, run, u));
            passOnAbort(set, run, abortPassedOn);
        }
    }

    const int32_t total = progressTotal(set);
    if (o.delaystart == 0) {
        passBarrier(set);
        startTimeline();
    }
    set.shared.startGate.open();
    for (size_t u = 0; u < run.users.size() && startAtGate && !aborted(set); ++u)
        startUser(set, run, u);
    if (run.loops) run.loops->finishWhenIdle();

    for (;;) {
        bool allEnded = false;
        const int64_t watchEnd = platform::tickMillis() + kWatchIntervalMs;
        for (int64_t left = kWatchIntervalMs; !allEnded && left > 0;
             left = watchEnd - platform::tickMillis()) {
            // Users on threads see the abort flag themselves; those on loops
            // are told within kAbortCheckMillis.
            int64_t slice = run.loops ? std::min<int64_t>(left, kAbortCheckMillis) : left;
            // Wake at the time limit itself.
            slice = std::clamp<int64_t>(timeLeft(set), 1, slice);
            allEnded = allUsersEndedWithin(run, slice);
            if (!allEnded && timeIsUp(set)) set.shared.abortFlag.store(1);
            passOnAbort(set, run, abortPassedOn);
        }
        reportProgress(set.shared.requestsMade.load(std::memory_order_relaxed), total);
        std::fflush(stdout);
        if (allEnded) break;
        if (timeIsUp(set)) set.shared.abortFlag.store(1);
        passOnAbort(set, run, abortPassedOn);
    }

    set.shared.runTimes.durationMs = platform::tickMillis() - set.shared.runTimes.startTick;
    for (platform::Thread& thread : run.threads) thread.join();
    if (run.loops) {
        run.loops->join();
        for (size_t i = 0; i < run.loops->size(); ++i)
            run.loopLag.push_back(run.loops->loop(i).lag());
    }
    run.timeline.stop();
    set.shared.runTimes.wallEnd = platform::wallSeconds();
    mergeRunLatency(set, run);
}

}  // namespace

int runTest(TestRun& set) {
    set.shared.abortFlag.store(0);
    set.shared.requestsMade.store(0);
    set.shared.scriptLoadFailureSaid.store(0);
    // The users' response buffers stay until the run is released: the budget is whole
    // again only for a new run.
    set.shared.responseBudget.reset();
    set.shared.httpCounters.httpRequests.store(0);
    if (!prepare(set)) return 0;
    drive(set);
    return set.shared.requestsMade.load() > 0 ? 1 : 0;
}

void releaseRun(TestRun& set) {
    set.run.reset();
}

}  // namespace velk
