#pragma once
// RunnerEvents: what the runner tells its host during a run (progress, each
// pass starting and ending, the first pass of a batch collected, the end of
// the run); the host decides what to show for it.  Called on the runner's
// worker thread (or the thread inside Runner::run) or on engine threads,
// never on the user-interface thread: a window's implementation only records
// or posts, it never touches a widget.
#include <cstdint>
#include <optional>
#include <string>

#include "app/results/collect_pass.h"
#include "velkcore.h"

namespace velk::runner {

// How a pass ended, as the runner tells its host right after RunTest.
struct PassEnd {
    int32_t result = 0;                       // RunTest's answer: 1 the pass ran
    bool stopped = false;                     // the host or the user asked the run to stop
    std::string title;                        // the pass's title ("shop - Virtual users=5")
    std::optional<results::CycleInfo> cycle;  // batch runs only
    bool last = false;  // no pass follows: the last value, a failure or a stop
};

class RunnerEvents {
public:
    virtual ~RunnerEvents() = default;
    // The progress bar's position and range with the text beside it.
    virtual void progress(int32_t position, int32_t range, const std::string& label) = 0;
    // The first pass of a batch run has its results (a batch graph can be drawn).
    virtual void firstBatchPassCollected() = 0;
    // stopped: ended by the user's stop or by an error.
    virtual void runFinished(bool stopped) = 0;
    // The end of a run is heard as well as seen.
    virtual void beep() {}
    // A pass of set is about to run: a host that shows its own progress or
    // serves figures starts watching set here.
    virtual void passStarting(TestSet* /*set*/) {}
    // RunTest has returned, before the runner says anything about the pass: a
    // host that writes its own reports of each pass reads set here.
    virtual void passEnded(TestSet* /*set*/, const PassEnd& /*end*/) {}
};

}  // namespace velk::runner
