#include "cli/run_command.h"

#include <cstdio>
#include <string>

#include "cli/engine_output.h"
#include "cli/figures_files.h"
#include "cli/interrupt_watcher.h"
#include "cli/run_figures.h"
#include "cli/test_loader.h"

namespace velk::cli {
namespace {

void writeToStream(void* sink, const char* text) {
    std::fputs(text, static_cast<std::FILE*>(sink));
}

// What the results say about the run's requests.
struct RequestTally {
    int64_t made = 0;      // executed, failed or not
    int64_t answered = 0;  // that got an answer: a time, an HTTP error or a failed check
    bool known = true;     // false where the results keep only times (errors are not in made)
    // Errors by class: network, HTTP, failed check, time-out.
    int64_t errors[4] = {};
};

void countCode(int32_t code, RequestTally& tally) {
    if (code == VELK_RESULT_NOT_RUN) return;
    ++tally.made;
    // The classes run from VELK_RESULT_NETWORK (-1) down to VELK_RESULT_TIMEOUT.
    if (code <= VELK_RESULT_NETWORK && code >= VELK_RESULT_TIMEOUT)
        ++tally.errors[VELK_RESULT_NETWORK - code];
    if (code >= 0 || code == VELK_RESULT_HTTP || code == VELK_RESULT_FAIL) ++tally.answered;
}

RequestTally tallyResults(TestSet* set) {
    RequestTally tally;
    TestInfo info{};
    GetInfo(set, &info);
    if (info.nodetails) {  // four values per position: minimum, sum, count, maximum
        tally.known = false;
        if (auto* cells = static_cast<int32_t*>(GetResults(set, 0)))
            for (int32_t pos = 0; pos < info.sequenceLength; ++pos)
                tally.made += cells[pos * 4 + 2];
        return tally;
    }
    for (int32_t user = 0; user < info.users; ++user) {
        auto** rows = static_cast<int32_t**>(GetResults(set, user));
        if (rows == nullptr) continue;
        if (info.iterations < 0) {  // script-driven: {n, result 1, ..., result n}
            if (rows[0] == nullptr) continue;
            for (int32_t i = 1; i <= rows[0][0]; ++i) countCode(rows[0][i], tally);
            continue;
        }
        for (int32_t pos = 0; pos < info.sequenceLength; ++pos)
            for (int32_t it = 0; rows[pos] != nullptr && it < info.iterations; ++it)
                countCode(rows[pos][it], tally);
    }
    return tally;
}

// " (network 2, HTTP 1)": the classes of the errors, or nothing without any.
std::string errorClasses(const RequestTally& tally) {
    static const char* const kNames[4] = {"network", "HTTP", "failed check", "time-out"};
    std::string text;
    for (int i = 0; i < 4; ++i) {
        if (tally.errors[i] == 0) continue;
        text += (text.empty() ? " (" : ", ") + std::string(kNames[i]) + " " +
                std::to_string(tally.errors[i]);
    }
    return text.empty() ? text : text + ")";
}

// After the closing line: how late the engine's event loops resumed their users
// and, when that was enough to distort the times, the engine's warning.
void printLoopLag(TestSet* set) {
    RunFigures lag;
    collectLoopLag(set, lag);
    if (lag.loopLag.empty()) return;
    std::fprintf(stderr, "velkrun: event-loop lag p99 %.1f ms, max %.1f ms (%zu loop%s)\n",
                 lag.allLoopsLag.p99Ms, lag.allLoopsLag.maxMs, lag.loopLag.size(),
                 lag.loopLag.size() == 1 ? "" : "s");
    if (!lag.lagWarning.empty()) std::fprintf(stderr, "velkrun: %s\n", lag.lagWarning.c_str());
}

}  // namespace

int runLoadTest(const CliOptions& options) {
    int32_t maxtime = 0;
    TestSetPtr set = loadTest(options, &maxtime);
    if (!set) return 1;

    int32_t ran;
    int signal;
    int status = 0;
    int figuresStatus = 0;
    RunFigures figures;
    bool haveFigures = false;
    VelkSummary summary{};
    RequestTally tally;
    {
        // Stop signals stay handled until the report is written, so they cannot cut it.
        InterruptWatcher watcher(set.get());
        TestInfo info{};
        GetInfo(set.get(), &info);
        // The engine's first report (after every user has started) may lower this
        // to the maxrequests option.
        const int64_t planned =
            info.iterations < 0 ? -1 : int64_t(info.users) * info.sequenceLength * info.iterations;
        startProgressLine(set.get(), info.users, planned, maxtime);
        ran = RunTest(set.get());
        finishProgressLine();
        // Without results (the run could not start) there is no report to write.
        if (GetResults(set.get(), 0) != nullptr) {
            if (SaveResults(set.get(), nullptr, nullptr, &summary) != 0) status = 4;
            if (options.printReport) {
                SaveResults(set.get(), stdout, writeToStream, nullptr);
                std::fflush(stdout);
            }
            tally = tallyResults(set.get());
            figuresStatus = writeFigures(set.get(), options, "velkrun", figures, haveFigures);
        }
        signal = watcher.signalNumber();
    }
    if (!ran) {
        std::fprintf(stderr, "velkrun: the run completed no request\n");
        if (status == 0) status = 3;
    } else if (tally.known && tally.answered == 0) {
        std::fprintf(
            stderr,
            "velkrun: %lld requests, none reached the server (network errors or time-outs; "
            "see the users' logs)\n",
            static_cast<long long>(tally.made));
        if (status == 0) status = 3;
    } else {
        // The summary counts every exchange (redirects too) but only with
        // summarytimes=1; otherwise the results say how many requests were made.
        const long long made = summary.totalRequests > 0
                                   ? summary.totalRequests
                                   : tally.made + (tally.known ? 0 : summary.totalErrors);
        std::fprintf(stderr, "velkrun: %lld requests, %d errors, %.2f requests/s%s\n", made,
                     summary.totalErrors, summary.requestsPerSecondX1000 / 1000.0,
                     summary.totalErrors > 0 ? errorClasses(tally).c_str() : "");
    }
    if (ran) printLoopLag(set.get());
    if (haveFigures && !checkThresholds(options.thresholds, figures) && figuresStatus == 0)
        figuresStatus = 5;
    // As a shell reports a program ended by the signal: 130 for Ctrl+C, 143 for SIGTERM.
    if (signal != 0) return 128 + signal;
    return status != 0 ? status : figuresStatus;
}

}  // namespace velk::cli
