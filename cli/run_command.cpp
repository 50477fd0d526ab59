#include "cli/run_command.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "app/base/terminal_text.h"
#include "app/results/collect_pass.h"
#include "app/results/pass_figures.h"
#include "app/results/results_container.h"
#include "app/results/rlt_file.h"
#include "cli/closing_line.h"
#include "cli/engine_output.h"
#include "cli/figures_files.h"
#include "cli/host_run.h"
#include "cli/interrupt_watcher.h"
#include "cli/metrics_run.h"
#include "cli/output_file.h"
#include "cli/test_loader.h"

namespace velk::cli {
namespace {

void writeToStream(void* sink, const char* text) {
    // The report names the script's requests: no control of them reaches a terminal.
    std::fputs(base::escapeControlsKeepLines(text).c_str(), static_cast<std::FILE*>(sink));
}

// After the closing line: how late the engine's event loops resumed their users
// and, when that was enough to distort the times, the engine's warning.
void printLoopLag(const std::optional<velk::results::PassFigures>& figures) {
    if (!figures || figures->run().loopLag.empty()) return;
    const velk::results::RunTotals& lag = figures->run();
    std::fprintf(stderr, "velkrun: event-loop lag p99 %.1f ms, max %.1f ms (%zu loop%s)\n",
                 lag.allLoopsLag.p99Ms, lag.allLoopsLag.maxMs, lag.loopLag.size(),
                 lag.loopLag.size() == 1 ? "" : "s");
    if (!lag.lagWarning.empty()) std::fprintf(stderr, "velkrun: %s\n", lag.lagWarning.c_str());
}

// A script's text on the terminal: control bytes shown as "?".
std::string sanitizedForTerminal(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

// The closing line of a pass ("velkrun: " and label before it); 3 when the pass
// completed no request or none reached the server, else 0.
int printClosingLine(TestSet* set, const std::optional<velk::results::PassFigures>& figures,
                     const std::string& label, bool ran, const RequestTally& tally, bool logging) {
    const char* lead = label.empty() ? "" : ": ";
    char host[256];
    const bool unresolved = GetUnresolvedHost(set, host, sizeof host) != 0;
    const std::string cannotResolve =
        unresolved ? "cannot resolve " + sanitizedForTerminal(host) : std::string();
    if (!ran) {
        std::fprintf(stderr, "velkrun: %s%sthe run completed no request%s\n", label.c_str(), lead,
                     unresolved ? (" (" + cannotResolve + ")").c_str() : "");
        return 3;
    }
    if (tally.known && tally.answered == 0) {
        std::fprintf(stderr, "velkrun: %s%s%lld requests, none reached the server (%s; %s)\n",
                     label.c_str(), lead, static_cast<long long>(tally.made),
                     unresolved ? cannotResolve.c_str() : "network errors or time-outs",
                     logging ? "the users' logs say why"
                             : "--set log=1 writes the users' logs, which say why");
        return 3;
    }
    std::fprintf(stderr, "velkrun: %s%s%s%s\n", label.c_str(), lead,
                 closingFigures(figures, tally).c_str(),
                 unresolved ? ("; " + cannotResolve).c_str() : "");
    return 0;
}

// The desktop program's messages of a batch or kept run, on standard error.
void say(const std::string& text) {
    printAboveProgress((text + "\n").c_str());
}

// The requests the script defines that no sequence of the pass made.
std::vector<std::string> untimedRequests(const std::vector<std::string>& requests,
                                         const velk::results::PassFigures& figures) {
    std::vector<std::string> untimed;
    for (const std::string& request : requests)
        if (std::none_of(figures.requests.begin(), figures.requests.end(),
                         [&](const velk::results::LatencyFigures& r) { return r.name == request; }))
            untimed.push_back(request);
    return untimed;
}

// What all passes of a run come to.
struct RunState {
    bool logging = false;               // the script or --set turns the users' logs on
    std::vector<std::string> requests;  // the request sections of the script
    int status = 0;                     // the first failure: 1, 3 or 4
    int figuresStatus = 0;              // 4 a figures file failed, 5 a threshold failed
    velk::results::CResultsContainer passes;
    MetricsRun* metrics = nullptr;  // --metrics: serves each pass's live figures
};

// What velkrun does around each pass the runner runs: the live line and the
// metrics endpoint while it runs; then its report, closing line and verdicts,
// and with --results the pass as the desktop program collects it.
class PassOutputs : public PassEvents {
public:
    PassOutputs(const CliOptions& options, int32_t maxtime, const InterruptWatcher& watcher,
                RunState& state)
        : m_options(options), m_maxtime(maxtime), m_watcher(watcher), m_state(state) {}

    void passStarting(TestSet* set) override {
        TestInfo info{};
        GetInfo(set, &info);
        // The engine's first report (after every user has started) may lower this
        // to the maxrequests option.
        const int64_t planned =
            info.iterations < 0 ? -1 : int64_t(info.users) * info.sequenceLength * info.iterations;
        startProgressLine(set, info.users, planned, m_maxtime);
        m_state.metrics->watch(set, info.users);
    }

    void passEnded(TestSet* set, const runner::PassEnd& end) override;

private:
    const CliOptions& m_options;
    const int32_t m_maxtime;
    const InterruptWatcher& m_watcher;
    RunState& m_state;
};

void PassOutputs::passEnded(TestSet* set, const runner::PassEnd& end) {
    m_state.metrics->finish();
    finishProgressLine();
    const CliOptions& options = m_options;
    RunState& state = m_state;
    const bool keep = !options.resultsPath.empty();
    const bool ran = end.result != 0;
    int status = 0;
    RequestTally tally;
    std::optional<velk::results::PassFigures> figures;
    bool checkFigures = false;
    // Without results (the run could not start) there is no report to write.
    const bool haveResults = GetResults(set, 0) != nullptr;
    if (haveResults) {
        if (keep) {
            int32_t saved = 0;
            state.passes.add(velk::results::collectPass(
                set, end.title, end.cycle ? &*end.cycle : nullptr, &saved, &figures));
            if (saved != 0) status = 4;
        } else {
            if (SaveResults(set, nullptr, nullptr, nullptr) != 0) status = 4;
            figures = velk::results::collectFigures(set);
        }
        if (options.printReport) {
            SaveResults(set, stdout, writeToStream, nullptr);
            std::fflush(stdout);
        }
        tally = tallyResults(set);
        if ((end.last || m_watcher.signalNumber() != 0) && wantsFigures(options)) {
            state.figuresStatus = writeFigures(figures, options, "velkrun");
            checkFigures = figures.has_value();
        }
    }
    const int closing = printClosingLine(set, figures, options.cycling ? end.title : std::string(),
                                         ran && haveResults, tally, state.logging);
    if (ran) printLoopLag(figures);
    // The verdicts follow the closing line.
    if (checkFigures &&
        !checkThresholds(options.thresholds, *figures, "velkrun",
                         untimedRequests(state.requests, *figures)) &&
        state.figuresStatus == 0)
        state.figuresStatus = 5;
    if (status == 0) status = closing;
    if (state.status == 0) state.status = status;
}

}  // namespace

runner::CycleSettings cycleSettings(const CliOptions& options) {
    runner::CycleSettings cycle;
    cycle.cycling = options.cycling;
    cycle.byIterations = options.cycleByIterations;
    cycle.from = options.cycling ? options.cycleFrom : 0;
    cycle.to = options.cycleTo;
    cycle.step = options.cycleStep;
    cycle.pause = options.pause;
    cycle.pauseSeconds = options.pauseSeconds;
    return cycle;
}

int runLoadTest(const CliOptions& options) {
    // The files asked for are checked before the run, so that a run is not
    // spent for figures that would then have nowhere to go.
    for (const std::string* path :
         {&options.summaryPath, &options.htmlPath, &options.resultsPath}) {
        if (path->empty()) continue;
        if (const Status status = canWriteOutputFile(*path); !status) {
            std::fprintf(stderr, "velkrun: cannot write %s\n", status.message().c_str());
            return 4;
        }
    }
    std::string script, text;
    if (!readScript(options, script, text)) return 1;
    std::string name = script;
    const int32_t maxtime = literalIntegerOption(text, options.settings, "maxtime");
    const bool keep = !options.resultsPath.empty();
    const runner::CycleSettings cycle = cycleSettings(options);
    // Passes are titled by the project name, as the report names the test.
    if (const std::string project = literalTextOption(text, options.settings, "projectname");
        !project.empty())
        name = project.substr(0, 63);

    RunState state;
    state.logging = literalIntegerOption(text, options.settings, "log") != 0;
    state.requests = requestSections(text);
    {
        // Stop signals stay handled until the last report is written, so they cannot cut it.
        InterruptWatcher watcher;
        MetricsRun metrics;
        if (!metrics.start(options)) return 3;
        state.metrics = &metrics;
        TestSetPtr set = parseTest(options, script, text);
        if (!set) {
            state.status = 1;
            if (keep || options.cycling) say(runner::kAllFinishedMessage);
        } else {
            // The runner's own lines (passes, pauses, CPU load) are for runs that
            // keep or cycle; velkrun's closing line speaks for a single run.
            runner::Runner::OutputSink sink;
            if (keep || options.cycling)
                sink = [](int32_t, std::string_view text) {
                    std::string line(text);
                    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                        line.pop_back();
                    say(line);
                };
            PassOutputs outputs(options, maxtime, watcher, state);
            runOnThisThread(std::move(set), name, cycle, outputs, watcher, std::move(sink));
        }
        if (keep && state.passes.count() > 0) {
            const Status written = writeOutputFile(options.resultsPath,
                                                   velk::results::rltFileBytes(state.passes.all()));
            if (!written) {
                std::fprintf(stderr, "velkrun: cannot write %s\n", written.message().c_str());
                if (state.status == 0) state.status = 4;
            }
        }
        metrics.linger([&watcher] { return watcher.signalNumber() != 0; });
        // As a shell reports a program ended by the signal: 130 for Ctrl+C, 143 for SIGTERM.
        if (const int signal = watcher.signalNumber(); signal != 0) return 128 + signal;
    }
    return state.status != 0 ? state.status : state.figuresStatus;
}

}  // namespace velk::cli
