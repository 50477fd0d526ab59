#include "cli/mpi/distributed_run.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/runner/runner.h"
#include "cli/merged_report.h"
#include "cli/metrics_run.h"
#include "cli/mpi/rank_signals.h"
#include "cli/test_loader.h"

namespace velk::mpi {
namespace {

// How long a rank waits for the others: to start (making many users takes a
// while), at each progress round, and for the results.
constexpr int kStartTimeoutSeconds = 300;
constexpr int kRoundTimeoutSeconds = 30;
constexpr int kGatherTimeoutSeconds = 300;
constexpr auto kRoundInterval = std::chrono::milliseconds(500);
constexpr int kRoundsPerProgressLine = 20;

// Between the runner's thread, which runs the pass, and this one.
struct RunThreadState {
    std::mutex mutex;
    std::condition_variable changed;
    bool atBarrier = false;        // GUARDED_BY(mutex)
    bool released = false;         // GUARDED_BY(mutex)
    bool go = false;               // GUARDED_BY(mutex)
    bool ended = false;            // GUARDED_BY(mutex)
    std::atomic<int64_t> made{0};  // test-sequence entries done here, as last reported
};

RunThreadState* g_state = nullptr;  // for the progress callback, which has no context of ours

int32_t holdAtBarrier(void* context) {
    auto& s = *static_cast<RunThreadState*>(context);
    std::unique_lock lock(s.mutex);
    s.atBarrier = true;
    s.changed.notify_all();
    s.changed.wait(lock, [&s] { return s.released; });
    return s.go ? 1 : 0;
}

void countProgress(void*, int32_t made, int32_t) {
    if (g_state) g_state->made.store(made);
}

// FNV-1a over the test as parsed: its shape, request names, script text and
// options.  Ranks must run the same test, not merely one of the same size.
uint64_t testDigest(TestSet* set, const std::string& text, const velk::cli::CliOptions& options) {
    uint64_t hash = 14695981039346656037ull;
    auto add = [&hash](std::string_view bytes) {
        for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
        hash = (hash ^ 0xff) * 1099511628211ull;  // ends each piece
    };
    TestInfo info{};
    GetInfo(set, &info);
    add(std::to_string(info.users) + "/" + std::to_string(info.iterations) + "/" +
        std::to_string(info.sequenceLength) + "/" + std::to_string(info.nodetails));
    for (int32_t k = 0; k < info.sequenceLength && info.sequenceNames; ++k)
        add(info.sequenceNames[k] ? info.sequenceNames[k] : "");
    add(text);
    for (const std::string& setting : options.settings) add(setting);
    return hash;
}

// Rank 0 compares every rank's digest with its own; all learn the answer.
bool sameTestEverywhere(uint64_t digest, MpiLink& link) {
    const std::string mine(reinterpret_cast<const char*>(&digest), sizeof digest);
    const std::vector<std::string> all =
        link.gather(mine, kStartTimeoutSeconds, "comparing the tests");
    bool same = true;
    for (size_t r = 1; r < all.size(); ++r)
        if (all[r] != all[0]) {
            std::fprintf(stderr,
                         "velkrun-mpi: rank %zu runs another test than rank 0 (its script, "
                         "users or options differ)\n",
                         r);
            same = false;
        }
    return link.allAgree(same, kRoundTimeoutSeconds, "comparing the tests");
}

// What the rank needs of the runner's pass: whether it ran, and when it has ended.
struct RankPass : velk::runner::RunnerEvents {
    explicit RankPass(RunThreadState& s) : state(s) {}
    void progress(int32_t, int32_t, const std::string&) override {}
    void firstBatchPassCollected() override {}
    void passEnded(TestSet*, const velk::runner::PassEnd& end) override { ran = end.result; }
    void runFinished(bool) override { ended(); }
    void ended() {
        std::lock_guard lock(state.mutex);
        state.ended = true;
        state.changed.notify_all();
    }
    RunThreadState& state;
    std::atomic<int32_t> ran{0};
};

int64_t usersOfRank(int32_t users, int rank, int ranks) {
    return users > rank ? (int64_t(users) - rank + ranks - 1) / ranks : 0;
}

}  // namespace

int runDistributed(const velk::cli::CliOptions& options, MpiLink& link) {
    std::string name, text;
    velk::cli::TestSetPtr set;
    if (velk::cli::readScript(options, name, text)) set = velk::cli::parseTest(options, name, text);
    if (!link.allAgree(bool(set), kStartTimeoutSeconds, "loading the script")) {
        if (link.rank() == 0)
            std::fprintf(stderr, "velkrun-mpi: the test script did not load on every rank\n");
        return set ? 0 : 1;
    }
    if (!sameTestEverywhere(testDigest(set.get(), text, options), link))
        return link.rank() == 0 ? 1 : 0;
    SelectUsers(set.get(), link.rank(), link.size());
    TestInfo info{};
    GetInfo(set.get(), &info);
    std::fprintf(stderr, "velkrun-mpi: rank %d of %d (pid %d) runs %lld of %d users\n", link.rank(),
                 link.size(), int(getpid()),
                 static_cast<long long>(usersOfRank(info.users, link.rank(), link.size())),
                 info.users);

    // Made before the metrics endpoint, which reads the test set the runner frees.
    velk::runner::Runner runner;
    runner.initialize(velk::runner::Runner::kHostEngine);
    // --metrics: each rank serves the figures of its own users, rank K at PORT + K.
    velk::cli::CliOptions rankOptions = options;
    velk::cli::MetricsRun metrics;
    const Status ranked = velk::cli::metricsOptionsOfRank(rankOptions, link.rank());
    const bool listening = ranked && metrics.start(rankOptions);
    if (!ranked) std::fprintf(stderr, "velkrun-mpi: %s\n", ranked.message().c_str());
    if (!link.allAgree(listening, kStartTimeoutSeconds, "opening the metrics endpoints"))
        return link.rank() == 0 ? 3 : 0;
    metrics.watch(set.get(), int32_t(usersOfRank(info.users, link.rank(), link.size())));

    RunThreadState state;
    g_state = &state;
    SetProgressReporter(nullptr, countProgress);
    SetStartBarrier(set.get(), &state, holdAtBarrier);
    // The pass runs on the runner's thread while this one keeps the rounds.
    RankPass pass(state);
    TestSet* const run = set.get();
    int status = 0, signal = 0;
    {
        RankSignals watcher(run, link.rank());
        if (!runner.start(set.release(), name, velk::runner::CycleSettings{}, &pass)) pass.ended();
        // Every rank's users are ready, or none starts.
        bool ready;
        {
            std::unique_lock lock(state.mutex);
            state.changed.wait(lock, [&state] { return state.atBarrier || state.ended; });
            ready = state.atBarrier;
        }
        const bool go =
            link.allAgree(ready, kStartTimeoutSeconds, "waiting for every rank to be ready");
        {
            std::lock_guard lock(state.mutex);
            state.released = true;
            state.go = go;
        }
        state.changed.notify_all();
        if (!go && link.rank() == 0)
            std::fprintf(stderr, "velkrun-mpi: the run could not start on every rank\n");

        // Rounds until no rank runs: progress, and a stop asked on any rank
        // reaches them all.
        const int64_t planned =
            info.iterations < 0 ? -1 : int64_t(info.users) * info.sequenceLength * info.iterations;
        bool stopped = false;
        for (int round = 1;; ++round) {
            std::this_thread::sleep_for(kRoundInterval);
            bool ended;
            {
                std::lock_guard lock(state.mutex);
                ended = state.ended;
            }
            VelkLiveCounters live{};
            GetLiveCounters(run, &live);
            const std::vector<int64_t> all =
                link.sum({state.made.load(), ended ? 0 : 1, watcher.signalNumber() != 0 ? 1 : 0,
                          live.usersActive},
                         kRoundTimeoutSeconds, "running");
            if (all[2] > 0 && !stopped) {
                stopped = true;
                runner.requestStop();
            }
            if (all[1] == 0) break;
            if (link.rank() == 0 && !options.quiet &&
                options.progress != velk::cli::ProgressMode::None &&
                round % kRoundsPerProgressLine == 0) {
                if (planned >= 0)
                    std::fprintf(stderr,
                                 "velkrun-mpi: %lld of %lld requests made, %lld users running\n",
                                 static_cast<long long>(all[0]), static_cast<long long>(planned),
                                 static_cast<long long>(all[3]));
                else
                    std::fprintf(stderr, "velkrun-mpi: %lld users running\n",
                                 static_cast<long long>(all[3]));
            }
        }
        runner.waitForWorker();
        metrics.finish();
        const int32_t ran = pass.ran.load();

        // Every rank's results to rank 0; ranks whose run did not start send none.
        std::string bytes;
        if (go) {
            const int64_t size = ExportResultData(run, nullptr, 0);
            bytes.resize(size_t(size > 0 ? size : 0));
            if (size > 0 && ExportResultData(run, bytes.data(), size) != size) bytes.clear();
        }
        std::vector<std::string> parts =
            link.gather(bytes, kGatherTimeoutSeconds, "gathering the results");
        const bool noneRan = link.allAgree(!ran, kRoundTimeoutSeconds, "ending");
        if (link.rank() == 0 && go) {
            for (size_t r = 1; r < parts.size(); ++r)
                if (parts[r].empty() ||
                    !ImportResultData(run, parts[r].data(), int64_t(parts[r].size()))) {
                    std::fprintf(
                        stderr, "velkrun-mpi: the results of rank %zu cannot be used (see above)\n",
                        r);
                    status = 4;
                }
            const int reportStatus =
                velk::cli::reportMergedRun(run, options, options.resultsPath, "velkrun-mpi");
            if (status == 0) status = reportStatus;
        }
        if (link.rank() == 0 && (!go || noneRan)) {
            if (go) std::fprintf(stderr, "velkrun-mpi: the run completed no request\n");
            if (status == 0) status = 3;
        }
        signal = watcher.signalNumber();
        metrics.linger([&watcher] { return watcher.signalNumber() != 0; });
    }
    g_state = nullptr;
    if (link.rank() != 0) return 0;
    // Stopped on request (SIGINT, or SIGUSR1 passed on by mpirun): as velkrun after Ctrl+C.
    if (signal != 0) return 128 + SIGINT;
    return status;
}

}  // namespace velk::mpi
