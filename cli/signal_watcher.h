#pragma once
// SignalWatcher: takes the given signals on a thread of its own, so that a
// handler may do what a signal handler may not (stop a run, print).  The
// signals are blocked in the constructing thread, and so in every thread it
// starts afterwards: construct the watcher before the engine or the runner
// starts any thread.  The destructor ends the watcher at once (it wakes it with
// a real-time signal of its own) and, unless told otherwise, unblocks the
// signals again.
//
// The handler runs on the watcher's thread, one signal at a time.
#include <atomic>
#include <functional>
#include <initializer_list>
#include <thread>
#include <vector>

namespace velk::cli {

class SignalWatcher {
public:
    using Handler = std::function<void(int signal)>;
    enum class AtEnd { kUnblock, kKeepBlocked };

    SignalWatcher(std::initializer_list<int> signals, Handler handler,
                  AtEnd atEnd = AtEnd::kUnblock);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

    // Blocks the signals (and the watcher's wake signal) in the calling thread,
    // for a program that must block them before a library starts threads.
    static void block(std::initializer_list<int> signals);

private:
    void watch();

    std::vector<int> m_signals;
    Handler m_handler;
    AtEnd m_atEnd;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace velk::cli
