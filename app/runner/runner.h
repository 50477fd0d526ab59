#pragma once
// Runner: the one way a test is run, for the desktop program, velkrun (its
// runs, batches and verify) and velkrun-mpi's ranks: turns a test script into
// a test set (or takes one the host has parsed), runs it once or pass by pass
// over a range of users or iterations, on a worker thread (start) or on the
// caller's (run), says what each pass came to, watches the machine's CPU
// load, stops a run on request and collects every finished pass into its
// results list.
//
// A runner made with initialize() owns the engine: it installs the engine's
// process-wide output and progress callbacks until shutDown(), so there is one
// such runner per process.  initialize(kHostEngine) leaves the engine and its
// callbacks to the host (velkrun prints the engine's messages itself).
//
// Threads: start, run, stop and the setters are for one controlling thread.
// requestStop() may come from any thread (a signal watcher).  The worker
// thread and the engine's threads write output through the output target
// (guarded by m_outputMutex) and report through RunnerEvents; the running and
// abort flags are atomics.  The results list guards itself.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "app/results/results_container.h"
#include "app/runner/live_figures.h"
#include "app/runner/pass_plan.h"
#include "app/runner/reach_check.h"
#include "app/runner/runner_events.h"
#include "engine/base/cond_var.h"
#include "engine/base/mutex.h"
#include "engine/base/thread_annotations.h"
#include "velkcore.h"

namespace velk::runner {

class Runner {
public:
    enum Level : int32_t { kMessage = 0, kWarning = 1, kFailure = 2 };
    using OutputSink = std::function<void(int32_t level, std::string_view text)>;
    using Notifier = std::function<void()>;
    // Runs on the controlling thread with the new test set; false refuses the
    // start (after saying why).
    using TestSetHook = std::function<bool(TestSet*)>;

    // Who set the engine up: the runner (InitKS, its callbacks, CleanupKS) or
    // the host, which did so before and ends it after.  A host with its own
    // engine also reports each pass itself (RunnerEvents::passEnded): the
    // runner then keeps no passes in results() and says nothing of a pass that
    // reached no server.
    enum Engine { kOwnEngine, kHostEngine };

    Runner() = default;
    ~Runner();
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;

    void initialize(Engine engine = kOwnEngine);
    // Stops any run, frees the test set and, with kOwnEngine, removes the
    // callbacks and ends the engine.
    void shutDown();

    // Starts a run on a worker thread; false when one is in progress, the test
    // set cannot be made or the script does not parse (the engine has said
    // why), or the worker cannot start.  events must outlive the run.
    bool start(const std::string& script, const std::string& runName, const CycleSettings& cycle,
               RunnerEvents* events);
    // The same for a test set the host has made and parsed; the runner owns
    // it from now on (also when the start fails).
    bool start(TestSet* parsed, const std::string& runName, const CycleSettings& cycle,
               RunnerEvents* events);
    // Runs a parsed test set on the calling thread and returns when the run
    // has ended; false when it could not start.  The runner owns parsed.
    bool run(TestSet* parsed, const std::string& runName, const CycleSettings& cycle,
             RunnerEvents* events);
    // The test set of the last run, to read its results once it has ended
    // (null before the first run).  The runner frees it at the next start.
    TestSet* testSet() const { return m_testSet; }
    // Asks a run to stop, waits until the worker has ended (at most 10 s after
    // it cleared running) and forgets it.  Nothing when no run is in progress.
    void stop();
    // The two halves of stop() for a window that shows a wait message meanwhile.
    void requestStop();
    void waitForWorker();

    bool isRunning() const { return m_running.load(); }
    bool isAborting() const { return m_abort.load(); }
    // Whether a pass of the last run reached no server (and said why in the
    // output): a window stays where that reason shows instead of the report.
    bool reachedNoServerLastRun() const { return m_reachedNoServer.load(); }

    // Where output goes: the sink gets each message, then the notifier is told.
    void setOutputTarget(OutputSink sink, Notifier notifier);
    // Before ParseTest (global variables, project name) and after it (options).
    void setTestSetHooks(TestSetHook beforeParse, TestSetHook afterParse);

    results::CResultsContainer& results() { return m_results; }
    int32_t batchNumber() const { return m_batchNumber.load(); }

    // Appends a message to the output target (any thread).
    void message(int32_t level, std::string_view text);

    // The progress shown for made of total requests: "Request: %d/%d" with the
    // smaller of the two as the position.
    static std::string progressLabel(int32_t made, int32_t total, int32_t& position);

    // The run as it stands, for the live panel (controlling thread, about once
    // a second): atomics and the engine's live counters only, nothing that a
    // user's request waits for.  running is false when no run is in progress.
    LiveReading liveReading() const;

    // The run's request limit (0: none): the live figures expect no more
    // requests than it, as the engine runs no more.
    void setRequestLimit(int64_t limit) { m_requestLimit = limit; }
    // Where the run sends its requests: after a pass in which no request
    // reached a server the runner tries each and says why it failed.
    void setReachTargets(std::vector<ReachTarget> targets) { m_reachTargets = std::move(targets); }

    // For the pause between passes: the length of one slice.
    void setPauseSliceMs(int32_t ms) { m_pauseSliceMs = ms; }
    // The name the test set is parsed under (log file names); "testlog" unless set.
    void setTestName(std::string name) { m_testName = std::move(name); }

private:
    static void onOutput(void* context, const char* text);
    static void onProgress(void* context, int32_t made, int32_t total);

    // What start() and run() share once a test set is parsed: takes parsed,
    // sets the first pass's value and marks the run as running.
    void begin(TestSet* parsed, const std::string& runName, const CycleSettings& cycle,
               RunnerEvents* events);
    // Starts the worker with what the last run left to free; false when it cannot.
    bool startWorker(TestSet* lastSet);
    void work();
    // Runs one pass; false when the run ends after it.
    bool runPass(int32_t passIndex);
    // Moves on to the next value; false when cycling has ended.
    bool nextPass();
    void finish(bool stopped);
    // Joins a worker that has ended or ends within kWorkerEndMs; false when it
    // is still alive.
    bool reapWorker();
    bool pauseBetweenPasses();
    // Whether the pass that RunTest ended with result may have reached no
    // server: nothing completed, or every request made failed to connect or
    // timed out.  Then each place is tried, and what stops it said.
    bool reachedNoServer(int32_t result) const;
    void sayWhyNoServerWasReached(bool allFailed);

    static constexpr int kWorkerEndMs = 10000;
    // How long each place is tried after a pass that reached no server.
    static constexpr int32_t kReachTimeoutMs = 2000;

    results::CResultsContainer m_results;
    TestSet* m_testSet = nullptr;
    std::string m_runName;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_abort{false};
    std::atomic<bool> m_reachedNoServer{false};
    std::thread m_worker;
    bool m_initialized = false;
    Engine m_engine = kOwnEngine;
    std::string m_testName = "testlog";

    Mutex m_workerMutex;
    CondVar m_workerEnded;
    bool m_workerDone GUARDED_BY(m_workerMutex) = true;

    Mutex m_outputMutex;
    OutputSink m_sink GUARDED_BY(m_outputMutex);
    Notifier m_notifier GUARDED_BY(m_outputMutex);

    TestSetHook m_beforeParse, m_afterParse;
    RunnerEvents* m_events = nullptr;  // set before the worker starts

    std::atomic<int32_t> m_batchNumber{0};
    CycleSettings m_cycle;       // read by the worker; written before it starts
    int32_t m_currentValue = 0;  // the worker's
    int32_t m_pauseSliceMs = 500;
    int64_t m_requestLimit = 0;               // written before the worker starts
    std::vector<ReachTarget> m_reachTargets;  // likewise

    // What liveReading() reports, written by the worker and the engine's
    // progress callback.
    std::atomic<int64_t> m_liveMade{0};
    std::atomic<int64_t> m_liveTotal{-1};
    std::atomic<int64_t> m_passStartMs{0};  // steady clock
    std::atomic<int32_t> m_passUsers{0};
    std::atomic<int32_t> m_passNumber{0};
    std::atomic<int32_t> m_passValue{0};
    std::atomic<int32_t> m_nextValue{-1};
    std::atomic<bool> m_pausing{false};
    void beginPassFigures(int32_t passIndex);
};

}  // namespace velk::runner
