#pragma once
// N event loops, each run by its own thread, with tasks placed round-robin.
// The count defaults to the number of processors.  The loops share one
// ResolverPool, made with the group, for their tasks' name look-ups.  spawn(), stop() and
// finishWhenIdle() may be called from any thread; join() and the destructor
// from the thread that made the group (the destructor stops and joins).
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "loop/event_loop.h"
#include "loop/resolver_pool.h"
#include "platform/thread.h"

namespace velk::loop {

class LoopGroup {
public:
    // threads == 0 means one per processor.  onThreadStart, when given, runs
    // first on each loop's thread.
    explicit LoopGroup(size_t threads = 0, LoopOptions options = {},
                       std::function<void()> onThreadStart = {});
    ~LoopGroup();
    LoopGroup(const LoopGroup&) = delete;
    LoopGroup& operator=(const LoopGroup&) = delete;

    // False when a loop or a thread could not be made.
    bool started() const { return m_started; }
    size_t size() const { return m_loops.size(); }
    EventLoop& loop(size_t index) { return *m_loops[index]; }

    // Places body on the next loop in turn; returns that loop's index.
    size_t spawn(std::function<void()> body);
    void setFailureHandler(const std::function<void(const std::string&)>& handler);
    void stop();
    // Every loop's cancelWaits(): waits end with Stopped, the loops keep running.
    void cancelWaits();
    // Every loop's interruptSleeps(): sleeps end, descriptor waits go on.
    void interruptSleeps();
    void finishWhenIdle();
    // Waits until every loop's run() has returned.
    void join();

private:
    std::vector<std::unique_ptr<EventLoop>> m_loops;
    // Declared after the loops and before the threads' end: destroyed first,
    // while the loops it posts to still exist.
    std::unique_ptr<ResolverPool> m_resolver;
    std::vector<platform::Thread> m_threads;
    std::atomic<size_t> m_next{0};
    bool m_started = false;
};

}  // namespace velk::loop
