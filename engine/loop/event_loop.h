#pragma once
// One epoll event loop, run by one thread, on which many coroutines (tasks)
// take turns.  A task runs until it waits: for a file descriptor to become
// readable or writable, for a deadline, or for another task or thread to wake
// it; the loop then runs whichever task can go on.  Deadlines come from the
// loop's TimerHeap, not from socket options.
//
// Threads: run() and every wait belong to the loop's thread (waits only from a
// task of this loop).  post(), spawn(), stop() and finishWhenIdle() may be
// called from any thread; they reach the loop through an eventfd.
//
// Descriptors are watched edge-triggered: a wait returns at once when readiness
// was seen since the last wait, so the caller retries its read or write and
// waits again only after EAGAIN.  forget(fd) must be called before closing fd.
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/mutex.h"
#include "base/thread_annotations.h"
#include "loop/coroutine_stack.h"
#include "loop/lag_meter.h"
#include "loop/live_lag.h"
#include "loop/timer_heap.h"

namespace velk::loop {

class ResolverPool;

enum class WaitResult { Ready, TimedOut, Stopped };

struct LoopOptions {
    size_t stackBytes = kDefaultStackBytes;
    size_t pooledStacks = 64;  // finished tasks' stacks kept for reuse
};

class EventLoop {
public:
    struct Task;

    explicit EventLoop(LoopOptions options = {});
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // False when epoll or the eventfd could not be made; nothing else works then.
    bool valid() const { return m_epoll >= 0 && m_wakeFd >= 0; }

    // Any thread.  Runs fn on the loop's thread, outside any task.
    void post(std::function<void()> fn) EXCLUDES(m_postMutex);
    // Any thread.  Starts body as a new task on this loop.
    void spawn(std::function<void()> body);
    // Any thread.  Wakes every waiting task with Stopped, makes later waits
    // return Stopped at once, and lets run() return when the last task ends.
    void stop();
    // Any thread.  As stop(), but run() goes on until finishWhenIdle() or stop():
    // an aborted run's tasks hurry to their ends while later ones may still come.
    void cancelWaits();
    // Any thread.  Wakes every task sleeping in sleepFor() with Stopped and makes
    // later sleeps end at once; waits for descriptors go on.  For a run whose
    // users finish the pass they are in when it is stopped.
    void interruptSleeps();
    // Any thread.  Lets run() return once no task is left.
    void finishWhenIdle();
    // Any thread.  Receives what escaped a task's body (on the loop's thread).
    void setFailureHandler(std::function<void(const std::string&)> handler) EXCLUDES(m_postMutex);

    // The loop's thread.  Runs tasks until stop() or finishWhenIdle() and no
    // task and no posted work is left (a task spawned by the last task still
    // runs).  Work posted after run() returned is not run.
    void run();

    // From a task of this loop.
    WaitResult waitReadable(int fd, Deadline deadline = kNoDeadline);
    WaitResult waitWritable(int fd, Deadline deadline = kNoDeadline);
    // Sleeps for ms; false when woken early by stop() or interruptSleeps().
    bool sleepFor(std::chrono::milliseconds ms);
    // Lets the loop look at its descriptors and timers and run every other ready
    // task before the calling task goes on: long CPU work calls it now and then so
    // that one task cannot hold the others up.  Outside a task, nothing.
    void yield();
    // How long the calling task's present turn waited for the processor after
    // the loop saw it could go on: its wake-up, or the latest readiness to read
    // fd, whichever came later.  Zero when that was before since (it did not
    // concern what the caller is timing) or outside a task.
    Clock::duration lateness(int fd, Deadline since) const;
    // Parks the calling task until wake(), the deadline or stop().
    WaitResult park(Deadline deadline = kNoDeadline);
    // The loop's thread: wakes a parked task with Ready (nothing if not parked).
    void wake(Task* task);
    // The calling task; nullptr outside a task of this thread's loop.
    Task* currentTask() const;
    // The loop whose run() is on this thread, or nullptr.
    static EventLoop* current();
    // The loop's thread: stops watching fd (before it is closed).
    void forget(int fd);
    // Where this loop's tasks look names up; set before run(), null for none.
    void setResolver(ResolverPool* resolver) { m_resolver = resolver; }
    ResolverPool* resolver() const { return m_resolver; }

    // The loop's thread (or after run() returned).
    size_t taskCount() const { return m_tasks.size(); }
    size_t failureCount() const { return m_failures; }
    // How late tasks were resumed over the loop's life.
    const LagMeter& lag() const { return m_lag; }
    // Any thread, before tasks run: where the loop also counts its lag for
    // readers while it runs (null: nowhere).  The slot must outlive the loop.
    void setLiveLag(LiveLag::Slot* slot) { m_liveLag.store(slot, std::memory_order_relaxed); }
    bool stopping() const { return m_stopping; }
    bool cancelled() const { return m_cancelled; }

private:
    struct FdWatch;

    WaitResult waitFd(int fd, bool forWrite, Deadline deadline);
    bool watch(int fd);
    void startTask(std::function<void()> body);
    void resumeTask(Task* task);
    void finishTask(Task* task);
    void wakeWith(Task* task, WaitResult result, Deadline seenAt);
    bool hasPosted() EXCLUDES(m_postMutex);
    void runPosted() EXCLUDES(m_postMutex);
    // The failure handler as set now (it may be replaced from another thread).
    std::function<void(const std::string&)> failureHandler() EXCLUDES(m_postMutex);
    void runReady();
    void pollOnce();
    void fireTimers();
    void beginStop();
    void beginCancel();
    void beginInterruptSleeps();
    void requeueYielded();
    int pollTimeoutMs() const;

    LoopOptions m_options;
    int m_epoll = -1;
    int m_wakeFd = -1;

    Mutex m_postMutex;
    std::vector<std::function<void()>> m_posted GUARDED_BY(m_postMutex);
    std::function<void(const std::string&)> m_onFailure GUARDED_BY(m_postMutex);

    // The rest belongs to the loop's thread.
    std::vector<std::unique_ptr<Task>> m_tasks;
    std::vector<Task*> m_ready;
    std::vector<Task*> m_yielded;    // run again after the next look at epoll
    std::vector<FdWatch> m_watches;  // indexed by descriptor
    std::vector<CoroutineStack> m_stackPool;
    TimerHeap m_timers;
    Task* m_running = nullptr;
    bool m_stopping = false;   // run() returns once idle
    bool m_cancelled = false;  // waits return Stopped
    bool m_sleepsInterrupted = false;
    Deadline m_pollEntered{};  // when the last epoll_wait began and ended
    Deadline m_pollReturned{};
    LagMeter m_lag;
    std::atomic<LiveLag::Slot*> m_liveLag{nullptr};
    ResolverPool* m_resolver = nullptr;
    bool m_finishWhenIdle = false;
    size_t m_failures = 0;
};

}  // namespace velk::loop
