#pragma once
// How velkrun runs a parsed test: through the core's runner, as the desktop
// program does, on velkrun's own thread.  The engine's callbacks stay
// velkrun's (its messages and live line), the runner keeps no records of its
// own and leaves unreached servers to velkrun's closing line, and a stop
// signal (Ctrl+C, SIGTERM) stops the run, also one taken before it began.
#include <string>

#include "app/runner/runner.h"
#include "cli/interrupt_watcher.h"
#include "cli/test_loader.h"

namespace velk::cli {

// What velkrun does around the passes; every event is optional.
class PassEvents : public runner::RunnerEvents {
public:
    void progress(int32_t, int32_t, const std::string&) override {}
    void firstBatchPassCollected() override {}
    void runFinished(bool) override {}
};

// Runs set's passes (one, or a batch by cycle) and returns when the run has
// ended; the runner's own lines go to sink when one is given.
void runOnThisThread(TestSetPtr set, const std::string& name, const runner::CycleSettings& cycle,
                     PassEvents& events, InterruptWatcher& watcher,
                     runner::Runner::OutputSink sink = nullptr);

}  // namespace velk::cli
