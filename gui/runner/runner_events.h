#pragma once
// RunnerEvents: what the runner tells the window during a run (progress, a
// page to show, the end of the run).  Called on the runner's worker thread or
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
    // Page number 6: the batch run graphs, after the first pass of a cycling run.
    virtual void showPage(int32_t page) = 0;
    // stopped: ended by the user's stop or by an error.
    virtual void runFinished(bool stopped) = 0;
    // The end of a run is heard as well as seen.
    virtual void beep() {}
};

}  // namespace velk::runner
