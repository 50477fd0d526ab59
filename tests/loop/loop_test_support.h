#pragma once
// Helpers for the event loop tests: a bounded run and loopback sockets.
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "loop/event_loop.h"

namespace velk::loop::test {

// Tasks alive at once in the tests of scale.  ThreadSanitizer keeps a thread's
// worth of state and mappings per fiber, and 10,000 of them exceed the
// process's mapping limit, so its build checks the same paths with fewer.
#if defined(__SANITIZE_THREAD__)
inline constexpr int kManyTasks = 1000;
#else
inline constexpr int kManyTasks = 10000;
#endif

// Runs loop until it finishes, or stops it after limit so that a fault shows
// as a failed expectation, not a hung test.
inline void runBounded(EventLoop& loop, std::chrono::seconds limit = std::chrono::seconds(60)) {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!done.wait_for(lock, limit, [&] { return finished; })) loop.stop();
    });
    loop.finishWhenIdle();
    loop.run();
    {
        std::lock_guard lock(mutex);
        finished = true;
    }
    done.notify_all();
    watchdog.join();
}

inline bool makeNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// A non-blocking stream socket pair; both -1 on failure.
struct SocketPair {
    int fds[2] = {-1, -1};
    SocketPair() {
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
            fds[0] = fds[1] = -1;
        }
    }
    ~SocketPair() {
        for (int fd : fds)
            if (fd >= 0) close(fd);
    }
    SocketPair(const SocketPair&) = delete;
    SocketPair& operator=(const SocketPair&) = delete;
};

inline Deadline after(std::chrono::milliseconds ms) {
    return Clock::now() + ms;
}

}  // namespace velk::loop::test
