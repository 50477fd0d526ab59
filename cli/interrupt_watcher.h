#pragma once
// Turns Ctrl+C (SIGINT) and SIGTERM into AbortRun, so a stopped run still
// writes its report: keep the watcher until the report is written.  A second
// signal ends the program at once, with 128 + its number.
//
// Construct it before the engine starts any thread (see SignalWatcher).
#include <atomic>

#include "cli/signal_watcher.h"
#include "velkcore.h"

namespace velk::cli {

class InterruptWatcher {
public:
    explicit InterruptWatcher(TestSet* set);

    // The first stop signal taken, or 0.
    int signalNumber() const { return m_signal.load(); }

private:
    void taken(int signal);

    TestSet* m_set;
    std::atomic<int> m_signal{0};
    SignalWatcher m_watcher;  // last: it calls taken() until it is destroyed
};

}  // namespace velk::cli
