#pragma once
// Threads with an explicit stack size, for virtual users: many of them run at
// once, so each gets a modest stack (pages are committed only when touched).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace velk::platform {

// Stack of a virtual user's thread: TLS, the resolver and script code need more
// than a minimal stack.  The sanitizers enlarge frames (redzones around every
// local, inlined calls' too), so their builds get more, as user tasks do.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr size_t kUserThreadStack = 1024 * 1024;
#else
inline constexpr size_t kUserThreadStack = 256 * 1024;
#endif

class Thread {
public:
    Thread() = default;
    ~Thread();
    Thread(Thread&& other) noexcept;
    Thread& operator=(Thread&& other) noexcept;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts body on a new thread; false (and nothing started) when the system
    // refuses, e.g. for lack of memory or threads.
    bool start(size_t stackBytes, std::function<void()> body);
    // Waits for the thread to end; does nothing when none was started.
    void join();
    bool joinable() const { return m_started; }

private:
    unsigned long m_handle = 0;  // pthread_t
    bool m_started = false;
};

// Tells the scheduler that the calling thread does throughput work: when woken it
// waits for the running thread to block or use up its slice instead of taking the
// processor from it.  Where the system refuses, nothing changes.
void preferThroughputScheduling();

// The kernel's id of the calling thread.
unsigned long currentThreadId();

// Lowest usable address of the calling thread's stack (stacks grow down); 0 when
// the system cannot tell.  For code that must stop recursing before it overflows.
uintptr_t currentStackLow();

}  // namespace velk::platform
