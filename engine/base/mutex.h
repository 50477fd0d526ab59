#pragma once
// A std::mutex that clang's thread-safety analysis can see (libstdc++'s has no
// annotations), its scoped lock, and a condition variable that waits on it, in
// the manner of leveldb's port::Mutex and port::CondVar.  Each is as safe for
// concurrent use as the std type it wraps.
#include <condition_variable>
#include <mutex>

#include "base/thread_annotations.h"

namespace velk {

class CAPABILITY("mutex") Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() ACQUIRE() { m_mutex.lock(); }
    void unlock() RELEASE() { m_mutex.unlock(); }

private:
    friend class CondVar;
    std::mutex m_mutex;
};

// Holds mutex from construction to the end of the scope.
class SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : m_mutex(mutex) { m_mutex.lock(); }
    ~MutexLock() RELEASE() { m_mutex.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& m_mutex;
};

// wait(mutex) is called with mutex held (always the same one); it is released
// while waiting and held again on return.  Wakes may be spurious: wait in a loop
// on the condition.
class CondVar {
public:
    CondVar() = default;
    CondVar(const CondVar&) = delete;
    CondVar& operator=(const CondVar&) = delete;

    void wait(Mutex& mutex) REQUIRES(mutex) {
        std::unique_lock<std::mutex> lock(mutex.m_mutex, std::adopt_lock);
        m_cv.wait(lock);
        lock.release();
    }
    void signal() { m_cv.notify_one(); }
    void signalAll() { m_cv.notify_all(); }

private:
    std::condition_variable m_cv;
};

}  // namespace velk
