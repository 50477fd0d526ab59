#pragma once
// Turns Ctrl+C (SIGINT) and SIGTERM into AbortRun, so a stopped run still
// writes its report: keep the watcher until the report is written.  A second
// signal ends the program at once, with 128 + its number.  A run of several
// passes keeps one watcher and points it at each pass's test set in turn; a
// signal taken between passes is only remembered.
//
// Construct it before the engine starts any thread (see SignalWatcher).
#include <atomic>
#include <functional>
#include <mutex>

#include "cli/signal_watcher.h"
#include "velkcore.h"

namespace velk::cli {

class InterruptWatcher {
public:
    explicit InterruptWatcher(TestSet* set = nullptr);

    // The set a signal stops from now on (null: none).  Call with null before
    // the set is freed: the watcher's thread never touches a freed set.
    void setTarget(TestSet* set);
    // What a signal does from now on instead (empty: nothing), on the
    // watcher's thread; called at once when a signal was taken before.
    void setStop(std::function<void()> stop);

    // The first stop signal taken, or 0.
    int signalNumber() const { return m_signal.load(); }

private:
    void taken(int signal);

    std::mutex m_mutex;
    std::function<void()> m_stop;  // GUARDED_BY(m_mutex)
    std::atomic<int> m_signal{0};
    SignalWatcher m_watcher;  // last: it calls taken() until it is destroyed
};

}  // namespace velk::cli
