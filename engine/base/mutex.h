#pragma once
// Mutex: std::mutex as a capability the thread-safety analysis knows (libstdc++'s
// carries no annotations), and MutexLock, which holds one for its scope.
//
// Members a Mutex guards are declared GUARDED_BY(it).  A Mutex is shared by the
// threads that take it; a MutexLock belongs to the thread that made it.
#include <mutex>

// By its own folder: the rings above include this header as "engine/base/...".
#include "thread_annotations.h"

namespace velk {

class CAPABILITY("mutex") Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() ACQUIRE() { m_mutex.lock(); }
    void unlock() RELEASE() { m_mutex.unlock(); }

private:
    std::mutex m_mutex;
};

class SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : m_mutex(mutex) { m_mutex.lock(); }
    ~MutexLock() RELEASE() { m_mutex.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& m_mutex;
};

}  // namespace velk
