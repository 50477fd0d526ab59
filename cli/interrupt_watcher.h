#pragma once
// Turns Ctrl+C (SIGINT) and SIGTERM into AbortRun, so a stopped run still
// writes its report.  A second signal ends the program at once.
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

    bool interrupted() const { return m_interrupted.load(); }

private:
    void watch();

    TestSet* m_set;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_interrupted{false};
    std::thread m_thread;
};

}  // namespace velk::cli
