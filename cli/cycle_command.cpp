#include "cli/cycle_command.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "app/results/rlt_file.h"
#include "app/runner/runner.h"
#include "cli/scenario_command.h"
#include "cli/signal_watcher.h"
#include "cli/test_loader.h"

namespace velk::cli {
namespace {

// Prints the runner's progress and waits for the end of the run.
class ConsoleEvents : public velk::runner::RunnerEvents {
public:
    explicit ConsoleEvents(bool showProgress)
        : m_showProgress(showProgress && isatty(STDERR_FILENO)) {}

    void progress(int32_t, int32_t range, const std::string& label) override {
        if (!m_showProgress || range == 0) return;
        std::lock_guard lock(m_mutex);
        std::fprintf(stderr, "\r%s   ", label.c_str());
        std::fflush(stderr);
        m_progressShowing = true;
    }
    void firstBatchPassCollected() override {}
    void runFinished(bool stopped) override {
        std::lock_guard lock(m_mutex);
        m_stopped = stopped;
        m_finished = true;
        m_changed.notify_all();
    }
    void print(std::string_view text) {
        std::lock_guard lock(m_mutex);
        if (m_progressShowing) std::fputs("\n", stderr);
        m_progressShowing = false;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
        std::fprintf(stderr, "%.*s\n", int(text.size()), text.data());
    }
    bool waitFinished() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_finished; });
        return m_stopped;
    }

private:
    const bool m_showProgress;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_progressShowing = false;  // guarded by m_mutex
    bool m_finished = false;         // guarded by m_mutex
    bool m_stopped = false;          // guarded by m_mutex
};

// Ctrl+C and SIGTERM stop the run (the passes finished so far are kept); a
// second one ends the program at once.  The signals are taken by this
// watcher's thread, so it must exist before the runner starts any thread.
class StopWatcher {
public:
    explicit StopWatcher(velk::runner::Runner& runner)
        : m_runner(runner), m_watcher({SIGINT, SIGTERM}, [this](int) { taken(); }) {}
    bool interrupted() const { return m_interrupted; }

private:
    void taken() {
        if (m_interrupted.exchange(true)) _exit(130);
        std::fputs("\nvelkrun: stopping the run (press Ctrl+C again to quit at once)\n", stderr);
        m_runner.requestStop();
    }

    velk::runner::Runner& m_runner;
    std::atomic<bool> m_interrupted{false};
    SignalWatcher m_watcher;  // last: it calls taken() until it is destroyed
};

bool scriptOf(const CliOptions& options, std::string& name, std::string& text) {
    if (isScenarioPath(options.scriptPath)) {
        std::optional<GeneratedScript> script = scenarioScript(options);
        if (!script) return false;
        name = script->name;
        text = script->text;
        return true;
    }
    std::ifstream in(options.scriptPath, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "velkrun: cannot read test script %s\n", options.scriptPath.c_str());
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    name = baseName(options.scriptPath);
    return true;
}

}  // namespace

bool usesRunner(const CliOptions& options) {
    return options.command == Command::Run && (options.cycling || !options.resultsPath.empty());
}

int runWithRunner(const CliOptions& options) {
    std::string name, text;
    if (!scriptOf(options, name, text)) return 1;

    velk::runner::Runner runner;
    StopWatcher watcher(runner);
    runner.initialize();
    ConsoleEvents events(!options.quiet);
    runner.setOutputTarget([&events](int32_t, std::string_view line) { events.print(line); },
                           nullptr);
    runner.setTestSetHooks(
        [&](TestSet* set) {
            // The engine cuts option arguments at their "=", so it gets copies.
            std::vector<std::string> args = options.engineArgs;
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            if (!ParseCommandLine(set, int32_t(args.size()), argv.data())) return false;
            ParseGeneralParam(set, "projectname", name.substr(0, 63).c_str());
            return true;
        },
        [&](TestSet* set) {
            for (const std::string& setting : options.settings) {
                if (!SetProperty(set, setting.c_str())) {
                    std::fprintf(stderr,
                                 "velkrun: --set %s: no such option, or the value is refused\n",
                                 setting.c_str());
                    return false;
                }
            }
            return options.loopThreads == 0 || SetLoopThreads(set, options.loopThreads) != 0;
        });
    const velk::runner::CycleSettings cycle{options.cycling,     options.cycleByIterations,
                                            options.cycleFrom,   options.cycleTo,
                                            options.cycleStep,   options.pause,
                                            options.pauseSeconds};
    if (!runner.start(text, name, cycle, &events)) {
        std::fprintf(stderr, "velkrun: %s: the test did not start\n", options.scriptPath.c_str());
        return 1;
    }
    const bool stopped = events.waitFinished();
    runner.stop();

    int status = stopped ? 3 : 0;
    for (const velk::results::ResultsStorePtr& r : runner.results().all()) {
        std::fprintf(stderr, "velkrun: %s: %d requests, %d errors, %.2f requests/s\n",
                     r->title.c_str(), r->totalRequests, r->totalErrors,
                     double(r->requestsPerSecond));
        if (options.printReport) {
            std::string report = r->report;
            std::erase(report, '\r');
            std::fputs(report.c_str(), stdout);
        }
    }
    std::fflush(stdout);
    if (!options.resultsPath.empty()) {
        std::string error;
        if (!velk::results::saveResultsFile(runner.results(), options.resultsPath, error)) {
            std::fprintf(stderr, "velkrun: %s\n", error.c_str());
            if (status == 0) status = 4;
        }
    }
    runner.shutDown();
    return watcher.interrupted() ? 130 : status;
}

}  // namespace velk::cli
