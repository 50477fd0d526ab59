#pragma once
// Turns Ctrl+C (SIGINT) and SIGTERM into AbortRun, so a stopped run still
// writes its report: keep the watcher until the report is written.  A second
// signal ends the program at once, with 128 + its number.
//
// Construct it before the engine starts any thread: the signals are blocked in
// every thread and taken by the watcher's own thread.
#include <atomic>
#include <thread>

#include "velkcore.h"

namespace velk::cli {

class InterruptWatcher {
public:
    explicit InterruptWatcher(TestSet* set);
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    // The first stop signal taken, or 0.
    int signalNumber() const { return m_signal.load(); }

private:
    void watch();

    TestSet* m_set;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_signal{0};
    std::thread m_thread;
};

}  // namespace velk::cli
