#pragma once
// Holds users back until the driver has created them all, so that with no
// ramp-up they begin together.  Shared by the driver and all user threads.
#include <condition_variable>
#include <mutex>

namespace velk {

class StartGate {
public:
    void close() {
        std::lock_guard lock(m_mutex);
        m_open = false;
    }
    void open() {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    void wait() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = true;  // GUARDED_BY(m_mutex)
};

}  // namespace velk
