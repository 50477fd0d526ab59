#pragma once
// RunnerEvents: what the runner tells the window during a run (progress, the
// first pass of a batch collected, the end of the run); the window decides
// what to show for it.  Called on the runner's worker thread or
// on engine threads, never on the user-interface thread: an implementation
// only records or posts, it never touches a widget.
#include <cstdint>
#include <string>

namespace velk::runner {

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
};

}  // namespace velk::runner
