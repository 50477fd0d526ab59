#pragma once
// CondVar: waiting on a velk::Mutex until another thread says something changed.
// The waiter holds the mutex (the analysis checks it); it is let go while waiting
// and held again on return, so the waiter re-reads what the mutex guards in a
// loop of its own.  Shared by the threads that wait and notify.
#include <chrono>
#include <condition_variable>

// By its own folder: the rings above include this header as "engine/base/...".
#include "mutex.h"
#include "thread_annotations.h"

namespace velk {

class CondVar {
public:
    CondVar() = default;
    CondVar(const CondVar&) = delete;
    CondVar& operator=(const CondVar&) = delete;

    // Waits until notified (or woken spuriously) or until deadline; false once the
    // deadline has passed.
    template <class Clock, class Duration>
    bool waitUntil(Mutex& mutex, const std::chrono::time_point<Clock, Duration>& deadline)
        REQUIRES(mutex) {
        return m_changed.wait_until(mutex, deadline) == std::cv_status::no_timeout;
    }
    // Waits until notified (or woken spuriously).
    void wait(Mutex& mutex) REQUIRES(mutex) { m_changed.wait(mutex); }
    void signal() { m_changed.notify_one(); }
    void signalAll() { m_changed.notify_all(); }

private:
    std::condition_variable_any m_changed;
};

}  // namespace velk
