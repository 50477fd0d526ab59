#include "run_command.h"

#include <cstdio>

#include "engine_output.h"
#include "interrupt_watcher.h"
#include "test_loader.h"

namespace velk::cli {
namespace {

void writeToStream(void* sink, const char* text) { std::fputs(text, static_cast<std::FILE*>(sink)); }

}  // namespace

int runLoadTest(const CliOptions& options) {
    TestSetPtr set = loadTest(options);
    if (!set) return 1;

    int32_t ran;
    bool interrupted;
    {
        InterruptWatcher watcher(set.get());
        ran = RunTest(set.get());
        interrupted = watcher.interrupted();
    }
    finishProgressLine();

    int status = 0;
    VelkSummary summary{};
    // Without results (the run could not start) there is no report to write.
    if (GetResults(set.get(), 0) != nullptr) {
        if (SaveResults(set.get(), nullptr, nullptr, &summary) != 0) status = 4;
        if (options.printReport) {
            SaveResults(set.get(), stdout, writeToStream, nullptr);
            std::fflush(stdout);
        }
    }
    if (ran) {
        std::fprintf(stderr, "velkrun: %d requests, %d errors, %.2f requests/s\n", summary.totalRequests,
                     summary.totalErrors, summary.requestsPerSecondX1000 / 1000.0);
    } else {
        std::fprintf(stderr, "velkrun: the run completed no request\n");
        if (status == 0) status = 3;
    }
    if (interrupted) return 130;
    return status;
}

}  // namespace velk::cli
