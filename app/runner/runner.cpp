#include "app/runner/runner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

#include "app/results/collect_pass.h"
#include "app/runner/cpu_monitor.h"

namespace velk::runner {
namespace {

template <typename... Args>
std::string format(const char* fmt, Args... args) {
    char text[1024];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
}

using TestSetOwner = std::unique_ptr<TestSet, void (*)(TestSet*)>;

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

Runner::~Runner() {
    shutDown();
}

void Runner::initialize(Engine engine) {
    m_runName.clear();
    m_abort = false;
    m_running = false;
    m_engine = engine;
    if (m_engine == kOwnEngine) {
        InitKS(0, 0);
        SetOutFunc(this, onOutput);
        SetProgressReporter(this, onProgress);
    }
    m_initialized = true;
}

void Runner::shutDown() {
    stop();
    if (m_worker.joinable()) m_worker.join();
    if (!m_initialized) return;
    if (m_engine == kOwnEngine) {
        SetOutFunc(nullptr, nullptr);
        SetProgressReporter(nullptr, nullptr);
    }
    if (m_testSet) FreeTestSet(m_testSet);
    m_testSet = nullptr;
    if (m_engine == kOwnEngine) CleanupKS();
    m_initialized = false;
}

void Runner::setOutputTarget(OutputSink sink, Notifier notifier) {
    MutexLock lock(m_outputMutex);
    m_sink = std::move(sink);
    m_notifier = std::move(notifier);
}

void Runner::setTestSetHooks(TestSetHook beforeParse, TestSetHook afterParse) {
    m_beforeParse = std::move(beforeParse);
    m_afterParse = std::move(afterParse);
}

void Runner::message(int32_t level, std::string_view text) {
    MutexLock lock(m_outputMutex);
    if (m_sink) m_sink(level, text);
    if (m_notifier) m_notifier();
}

void Runner::onOutput(void* context, const char* text) {
    if (context && text) static_cast<Runner*>(context)->message(kMessage, text);
}

void Runner::onProgress(void* context, int32_t made, int32_t total) {
    auto* runner = static_cast<Runner*>(context);
    // The callback is the process's: a test set run outside the runner
    // (Verify Scenario) reports through it too, and is not the window's run.
    if (!runner || !runner->m_running.load()) return;
    runner->m_liveMade.store(made, std::memory_order_relaxed);
    runner->m_liveTotal.store(total, std::memory_order_relaxed);
    if (total == -1) {
        runner->message(kMessage, format("Requests made so far: %d", made));
        return;
    }
    int32_t shown = 0;
    const std::string label = progressLabel(made, total, shown);
    if (runner->m_events) runner->m_events->progress(shown, total, label);
}

std::string Runner::progressLabel(int32_t made, int32_t total, int32_t& position) {
    position = made < total ? made : total;
    return format("Request: %d/%d", position, total);
}

bool Runner::start(const std::string& script, const std::string& runName,
                   const CycleSettings& cycle, RunnerEvents* events) {
    // A worker that outlived its stop still uses the test set.
    if (m_running || !reapWorker()) return false;
    TestSetOwner set(CreateTestSet(), FreeTestSet);
    if (!set) return false;
    m_events = events;
    if (m_beforeParse && !m_beforeParse(set.get())) return false;
    const std::string text = script;  // the engine's own copy
    if (!ParseTest(set.get(), m_testName.c_str(), text.c_str())) return false;
    if (m_afterParse && !m_afterParse(set.get())) return false;
    return start(set.release(), runName, cycle, events);
}

bool Runner::start(TestSet* parsed, const std::string& runName, const CycleSettings& cycle,
                   RunnerEvents* events) {
    TestSetOwner set(parsed, FreeTestSet);
    if (!set || m_running || !reapWorker()) return false;
    // What the last run left (its test set, its passes) takes a tenth of a
    // second and more to release after thousands of users: the new run's
    // worker releases it, not this thread, which is the window's.
    TestSet* lastSet = std::exchange(m_testSet, nullptr);
    begin(set.release(), runName, cycle, events);
    return startWorker(lastSet);
}

bool Runner::run(TestSet* parsed, const std::string& runName, const CycleSettings& cycle,
                 RunnerEvents* events) {
    TestSetOwner set(parsed, FreeTestSet);
    if (!set || m_running || !reapWorker()) return false;
    if (m_testSet) FreeTestSet(std::exchange(m_testSet, nullptr));
    begin(set.release(), runName, cycle, events);
    m_results.takeAll();
    {
        MutexLock lock(m_workerMutex);
        m_workerDone = false;
    }
    work();
    return true;
}

void Runner::begin(TestSet* parsed, const std::string& runName, const CycleSettings& cycle,
                   RunnerEvents* events) {
    m_testSet = parsed;
    m_runName = runName;
    m_cycle = cycle;
    m_currentValue = cycle.from;
    m_events = events;
    m_abort = false;
    m_reachedNoServer = false;
    m_running = true;
    if (m_cycle.cycling) {
        ++m_batchNumber;
        const std::string value = std::to_string(m_currentValue);
        if (ParseGeneralParam(m_testSet, cycledOption(m_cycle), value.c_str()))
            message(kMessage, cyclingMessage(m_cycle, m_currentValue));
        else
            message(kWarning,
                    format("Failed to set parameter %s=%d", cycledOption(m_cycle), m_currentValue));
    }
    // The live figures start with the run, not when the worker gets going.
    beginPassFigures(0);
}

bool Runner::startWorker(TestSet* lastSet) {
    TestSetOwner last(lastSet, FreeTestSet);
    std::vector<results::ResultsStorePtr> lastPasses = m_results.takeAll();
    {
        MutexLock lock(m_workerMutex);
        m_workerDone = false;
    }
    try {
        m_worker = std::thread(
            [this, last = std::move(last), lastPasses = std::move(lastPasses)]() mutable {
                last.reset();
                lastPasses.clear();
                work();
            });
    } catch (const std::system_error&) {
        {
            MutexLock lock(m_workerMutex);
            m_workerDone = true;
        }
        FreeTestSet(m_testSet);
        m_testSet = nullptr;
        m_running = false;
        return false;
    }
    return true;
}

void Runner::requestStop() {
    if (!m_running) return;
    {
        MutexLock lock(m_workerMutex);
        m_abort = true;
    }
    m_workerEnded.signalAll();
    AbortRun(m_testSet);
}

bool Runner::reapWorker() {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kWorkerEndMs);
    bool ended;
    {
        MutexLock lock(m_workerMutex);
        while (!m_workerDone && m_workerEnded.waitUntil(m_workerMutex, deadline)) {
        }
        ended = m_workerDone;
    }
    if (ended && m_worker.joinable()) m_worker.join();
    return ended;
}

void Runner::waitForWorker() {
    {
        MutexLock lock(m_workerMutex);
        while (m_running.load()) m_workerEnded.wait(m_workerMutex);
    }
    reapWorker();
    m_running = false;
}

void Runner::stop() {
    if (m_running) requestStop();
    waitForWorker();
}

void Runner::beginPassFigures(int32_t passIndex) {
    TestInfo info{};
    GetInfo(m_testSet, &info);
    m_passUsers = info.users;
    m_liveMade = 0;
    // The engine counts every entry of the test sequence, and stops at the
    // request limit: so does the expected count, from the pass's start.
    int64_t total = info.iterations >= 0 ? int64_t(info.users) * info.iterations *
                                               std::max<int64_t>(info.sequenceLength, 0)
                                         : -1;
    if (total > 0 && m_requestLimit > 0) total = std::min(total, m_requestLimit);
    m_liveTotal = total;
    m_passNumber = m_cycle.cycling ? passIndex + 1 : 0;
    m_passValue = m_currentValue;
    int32_t next = 0;
    m_nextValue = nextPassValue(m_cycle, m_currentValue, next) ? next : -1;
    m_pausing = false;
    m_passStartMs = steadyMs();
}

LiveReading Runner::liveReading() const {
    LiveReading r;
    r.running = m_running.load();
    if (!r.running || !m_testSet) return r;
    r.elapsedMs = std::max<int64_t>(steadyMs() - m_passStartMs.load(), 0);
    r.made = m_liveMade.load(std::memory_order_relaxed);
    r.total = m_liveTotal.load(std::memory_order_relaxed);
    r.users = m_passUsers.load();
    readLiveCounters(m_testSet, r);
    readLiveFigures(m_testSet, r);
    r.pass = m_passNumber.load();
    r.passValue = m_passValue.load();
    r.nextValue = m_nextValue.load();
    r.pausing = m_pausing.load();
    r.byIterations = m_cycle.byIterations;
    return r;
}

bool Runner::runPass(int32_t passIndex) {
    beginPassFigures(passIndex);
    CpuMonitor cpu;
    cpu.start();
    message(kMessage, kRunningMessage);
    if (m_events) {
        m_events->progress(0, 0, kRunningMessage);
        m_events->passStarting(m_testSet);
    }
    // A stop asked before the pass began leaves it unrun.
    const int32_t result = m_abort.load() ? 0 : RunTest(m_testSet);
    const bool stopped = m_abort.load();
    const std::string title = passTitle(m_runName, m_cycle, m_currentValue);
    const results::CycleInfo info{m_batchNumber.load(), m_currentValue, m_cycle.byIterations};
    if (m_events) {
        PassEnd end;
        end.result = result;
        end.stopped = stopped;
        end.title = title;
        if (m_cycle.cycling) end.cycle = info;
        int32_t next = 0;
        end.last = result != 1 || stopped || !nextPassValue(m_cycle, m_currentValue, next);
        m_events->passEnded(m_testSet, end);
    }

    for (const std::string& line : overloadMessages(cpu.average())) message(kWarning, line);
    // A pass that the user did not stop and that reached no server says why.
    if (result == 1 && !stopped) {
        if (m_engine == kOwnEngine)
            m_results.add(
                results::collectPass(m_testSet, title, m_cycle.cycling ? &info : nullptr));
    } else if (stopped) {
        message(kWarning, kTerminatedMessage);
    } else {
        message(kWarning, kFailedPassMessage);
        m_abort = true;
    }
    if (!stopped && reachedNoServer(result)) {
        m_reachedNoServer = true;
        if (m_engine == kOwnEngine) sayWhyNoServerWasReached(result == 1);
    }
    if (m_abort) {
        finish(true);
        return false;
    }
    message(kMessage, finishedMessage(title));
    if (m_cycle.cycling && passIndex == 0 && m_events && m_engine == kOwnEngine)
        m_events->firstBatchPassCollected();
    return true;
}

bool Runner::nextPass() {
    int32_t next = 0;
    if (!nextPassValue(m_cycle, m_currentValue, next)) return false;
    m_currentValue = next;
    message(kMessage, cyclingMessage(m_cycle, m_currentValue));
    CleanKS(m_testSet);
    ParseGeneralParam(m_testSet, cycledOption(m_cycle), std::to_string(m_currentValue).c_str());
    return true;
}

bool Runner::pauseBetweenPasses() {
    if (!m_cycle.pause) return true;
    // The panel names the pass that ran and the one that comes.
    m_passValue = m_currentValue - m_cycle.step;
    m_nextValue = m_currentValue;
    m_pausing = true;
    const int32_t seconds = m_cycle.pauseSeconds;
    message(kMessage, waitingMessage(seconds));
    // Two slices a second; a stop wakes the wait at once.
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(int64_t(seconds) * 2 * m_pauseSliceMs);
    {
        MutexLock lock(m_workerMutex);
        while (!m_abort && m_workerEnded.waitUntil(m_workerMutex, end)) {
        }
    }
    if (!m_abort) return true;
    message(kWarning, kTerminatedMessage);
    return false;
}

bool Runner::reachedNoServer(int32_t result) const {
    if (result != 1) return true;
    VelkLiveCounters counters{};
    VelkLiveFigures figures{};
    if (!GetLiveCounters(m_testSet, &counters) || !GetLiveFigures(m_testSet, &figures))
        return false;
    const int64_t unanswered = int64_t(counters.networkErrors) + counters.timeouts;
    return figures.requestsMade > 0 && unanswered >= figures.requestsMade;
}

void Runner::sayWhyNoServerWasReached(bool allFailed) {
    bool said = false;
    for (const ReachTarget& target : m_reachTargets) {
        const std::string why = unreachableReason(target, kReachTimeoutMs);
        if (why.empty()) continue;
        message(kWarning, "No request reached the server. " + why);
        said = true;
    }
    // A pass that made nothing may have ended for a reason the engine has
    // given already; one whose requests all failed gets the way to find out.
    if (!said && allFailed)
        message(kWarning,
                "No request reached the server (network errors or time-outs). \"Save full log "
                "to:\" keeps the users' logs, which say why.");
}

void Runner::work() {
    for (int32_t pass = 0;; ++pass) {
        if (!runPass(pass)) return;
        if (!nextPass() || !pauseBetweenPasses()) break;
    }
    finish(false);
}

void Runner::finish(bool stopped) {
    message(kMessage, std::string(kAllFinishedMessage) + "\r\n");
    if (m_events) m_events->beep();
    {
        MutexLock lock(m_workerMutex);
        m_abort = false;
        m_running = false;
    }
    m_workerEnded.signalAll();
    if (m_events) m_events->runFinished(stopped);
    {
        MutexLock lock(m_workerMutex);
        m_workerDone = true;
    }
    m_workerEnded.signalAll();
}

}  // namespace velk::runner
