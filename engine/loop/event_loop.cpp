#include "loop/event_loop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <utility>

#include "loop/coroutine.h"

namespace velk::loop {

struct EventLoop::Task {
    Task(CoroutineStack stack, std::function<void()> body)
        : coroutine(std::move(stack), std::move(body)) {}
    Coroutine coroutine;
    TimerEntry timer;
    // The deadline of the wait under way (kNoDeadline: none).  The timer may be
    // queued for an earlier one, left from an earlier wait: see park().
    Deadline wanted = kNoDeadline;
    size_t index = 0;  // in m_tasks
    bool parked = false;
    bool sleeping = false;  // parked in sleepFor()
    // When the task could have gone on, and when it was resumed: the loop's lag.
    Deadline readySince{};
    Deadline resumedAt{};
    WaitResult result = WaitResult::Ready;
};

struct EventLoop::FdWatch {
    bool registered = false;
    bool readReady = false;
    bool writeReady = false;
    Deadline readSeenAt{};  // the latest readiness to read that epoll reported
    Task* reader = nullptr;
    Task* writer = nullptr;
};

namespace {

thread_local EventLoop* t_loop = nullptr;

// Longest single epoll wait; a later deadline is simply waited for in steps.
constexpr int64_t kMaxPollMs = 60 * 60 * 1000;

}  // namespace

EventLoop::EventLoop(LoopOptions options) : m_options(options) {
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_epoll >= 0 && m_wakeFd >= 0) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = m_wakeFd;
        if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wakeFd, &event) != 0) {
            close(m_wakeFd);
            m_wakeFd = -1;
        }
    }
}

EventLoop::~EventLoop() {
    if (m_wakeFd >= 0) close(m_wakeFd);
    if (m_epoll >= 0) close(m_epoll);
}

EventLoop* EventLoop::current() {
    return t_loop;
}

EventLoop::Task* EventLoop::currentTask() const {
    return t_loop == this ? m_running : nullptr;
}

void EventLoop::post(std::function<void()> fn) {
    bool wasEmpty;
    {
        MutexLock lock(m_postMutex);
        wasEmpty = m_posted.empty();
        m_posted.push_back(std::move(fn));
    }
    if (wasEmpty && m_wakeFd >= 0) {
        const uint64_t one = 1;
        // A full counter already means "wake up"; nothing to do on failure.
        [[maybe_unused]] ssize_t written = write(m_wakeFd, &one, sizeof one);
    }
}

void EventLoop::spawn(std::function<void()> body) {
    post([this, body = std::move(body)]() mutable { startTask(std::move(body)); });
}

void EventLoop::stop() {
    post([this] { beginStop(); });
}

void EventLoop::cancelWaits() {
    post([this] { beginCancel(); });
}

void EventLoop::interruptSleeps() {
    post([this] { beginInterruptSleeps(); });
}

void EventLoop::finishWhenIdle() {
    post([this] { m_finishWhenIdle = true; });
}

void EventLoop::setFailureHandler(std::function<void(const std::string&)> handler) {
    MutexLock lock(m_postMutex);
    m_onFailure = std::move(handler);
}

void EventLoop::run() {
    EventLoop* const outer = t_loop;
    t_loop = this;
    for (;;) {
        runPosted();
        runReady();
        if ((m_stopping || m_finishWhenIdle) && m_tasks.empty() && !hasPosted()) break;
        pollOnce();
        fireTimers();
        requeueYielded();
    }
    t_loop = outer;
}

void EventLoop::startTask(std::function<void()> body) {
    CoroutineStack stack;
    if (!m_stackPool.empty()) {
        stack = std::move(m_stackPool.back());
        m_stackPool.pop_back();
    } else {
        stack = CoroutineStack::map(m_options.stackBytes);
    }
    if (!stack.valid()) {
        ++m_failures;
        const std::function<void(const std::string&)> handler = failureHandler();
        if (handler) handler("no memory for a coroutine stack");
        return;
    }
    auto task = std::make_unique<Task>(std::move(stack), std::move(body));
    task->timer.owner = task.get();
    task->index = m_tasks.size();
    m_tasks.push_back(std::move(task));
    m_ready.push_back(m_tasks.back().get());
}

void EventLoop::resumeTask(Task* task) {
    const Deadline now = Clock::now();
    task->resumedAt = now;
    // A task's start is not counted: starting thousands of users at once is
    // the ramp-up's work, not lateness in running them.
    if (task->readySince != Deadline{}) {
        const int64_t late =
            std::chrono::duration_cast<std::chrono::microseconds>(now - task->readySince).count();
        m_lag.record(late);
        if (LiveLag::Slot* live = m_liveLag.load(std::memory_order_relaxed)) live->record(late);
    }
    m_running = task;
    task->coroutine.resume();
    m_running = nullptr;
    if (task->coroutine.finished()) finishTask(task);
}

void EventLoop::finishTask(Task* task) {
    m_timers.cancel(task->timer);
    if (task->coroutine.failed()) {
        ++m_failures;
        const std::function<void(const std::string&)> handler = failureHandler();
        if (handler) handler(task->coroutine.failure());
    }
    if (m_stackPool.size() < m_options.pooledStacks) {
        m_stackPool.push_back(task->coroutine.takeStack());
    }
    const size_t index = task->index;
    if (index + 1 != m_tasks.size()) {
        std::swap(m_tasks[index], m_tasks.back());
        m_tasks[index]->index = index;
    }
    m_tasks.pop_back();
}

WaitResult EventLoop::park(Deadline deadline) {
    Task* task = currentTask();
    if (task == nullptr || m_cancelled) return WaitResult::Stopped;
    task->parked = true;
    task->result = WaitResult::Ready;
    task->wanted = deadline;
    // Most waits end long before their time-out, so the timer is not taken out
    // when they do: a queued entry due no later than the new deadline stays, and
    // when it fires early fireTimers queues it again for the deadline wanted then.
    // A wait thus seldom touches the heap.
    if (deadline != kNoDeadline && (!task->timer.queued() || task->timer.deadline > deadline)) {
        m_timers.cancel(task->timer);
        m_timers.insert(task->timer, deadline);
    }
    Coroutine::suspend();
    task->wanted = kNoDeadline;
    return task->result;
}

void EventLoop::wake(Task* task) {
    wakeWith(task, WaitResult::Ready, Clock::now());
}

void EventLoop::wakeWith(Task* task, WaitResult result, Deadline seenAt) {
    if (task == nullptr || !task->parked) return;
    task->parked = false;
    task->result = result;
    task->readySince = seenAt;
    m_ready.push_back(task);
}

bool EventLoop::sleepFor(std::chrono::milliseconds ms) {
    if (m_sleepsInterrupted && currentTask() != nullptr) return false;
    const Deadline deadline = Clock::now() + ms;
    // A user pausing between requests (most of a user's life, with thousands of
    // them) keeps only the stack pages it is in; a system call is nothing
    // beside a pause of this length.
    constexpr std::chrono::milliseconds kReleaseStackFrom{10};
    if (Task* task = currentTask(); task != nullptr && ms >= kReleaseStackFrom)
        task->coroutine.releaseUnusedStack();
    for (;;) {
        if (Task* task = currentTask()) task->sleeping = true;
        const WaitResult result = park(deadline);
        if (Task* task = currentTask()) task->sleeping = false;
        if (result == WaitResult::Stopped) return false;
        if (result == WaitResult::TimedOut || Clock::now() >= deadline) return true;
    }
}

void EventLoop::yield() {
    Task* task = currentTask();
    if (task == nullptr) return;
    task->readySince = Clock::now();
    m_yielded.push_back(task);
    Coroutine::suspend();
}

Clock::duration EventLoop::lateness(int fd, Deadline since) const {
    const Task* task = currentTask();
    if (task == nullptr) return Clock::duration::zero();
    Deadline seen = task->readySince;
    if (fd >= 0 && size_t(fd) < m_watches.size() && m_watches[size_t(fd)].registered)
        seen = std::max(seen, m_watches[size_t(fd)].readSeenAt);
    if (seen < since || task->resumedAt <= seen) return Clock::duration::zero();
    return task->resumedAt - seen;
}

void EventLoop::requeueYielded() {
    if (m_yielded.empty()) return;
    // After the tasks that epoll and the timers have just made ready.
    m_ready.insert(m_ready.end(), m_yielded.begin(), m_yielded.end());
    m_yielded.clear();
}

WaitResult EventLoop::waitReadable(int fd, Deadline deadline) {
    return waitFd(fd, false, deadline);
}

WaitResult EventLoop::waitWritable(int fd, Deadline deadline) {
    return waitFd(fd, true, deadline);
}

WaitResult EventLoop::waitFd(int fd, bool forWrite, Deadline deadline) {
    if (currentTask() == nullptr || m_cancelled) return WaitResult::Stopped;
    // A descriptor epoll refuses (closed, a plain file) is "ready": the caller's
    // own read or write then reports the real error.
    if (!watch(fd)) return WaitResult::Ready;
    {
        FdWatch& w = m_watches[static_cast<size_t>(fd)];
        bool& ready = forWrite ? w.writeReady : w.readReady;
        if (ready) {
            ready = false;
            return WaitResult::Ready;
        }
        (forWrite ? w.writer : w.reader) = m_running;
    }
    const WaitResult result = park(deadline);
    FdWatch& w = m_watches[static_cast<size_t>(fd)];  // may have moved meanwhile
    (forWrite ? w.writer : w.reader) = nullptr;
    if (result == WaitResult::Ready) (forWrite ? w.writeReady : w.readReady) = false;
    return result;
}

bool EventLoop::watch(int fd) {
    if (fd < 0) return false;
    const auto index = static_cast<size_t>(fd);
    if (index >= m_watches.size()) m_watches.resize(index + 1);
    FdWatch& w = m_watches[index];
    if (w.registered) return true;
    epoll_event event{};
    event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    event.data.fd = fd;
    if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) != 0) return false;
    w = FdWatch{};
    w.registered = true;
    return true;
}

void EventLoop::forget(int fd) {
    if (fd < 0 || static_cast<size_t>(fd) >= m_watches.size()) return;
    FdWatch& w = m_watches[static_cast<size_t>(fd)];
    if (!w.registered) return;
    epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    const Deadline now = Clock::now();
    wakeWith(w.reader, WaitResult::Ready, now);
    wakeWith(w.writer, WaitResult::Ready, now);
    w = FdWatch{};
}

std::function<void(const std::string&)> EventLoop::failureHandler() {
    MutexLock lock(m_postMutex);
    return m_onFailure;
}

bool EventLoop::hasPosted() {
    MutexLock lock(m_postMutex);
    return !m_posted.empty();
}

void EventLoop::runPosted() {
    std::vector<std::function<void()>> posted;
    {
        MutexLock lock(m_postMutex);
        posted.swap(m_posted);
    }
    for (auto& fn : posted) fn();
}

void EventLoop::runReady() {
    while (!m_ready.empty()) {
        std::vector<Task*> ready;
        ready.swap(m_ready);
        for (Task* task : ready) resumeTask(task);
    }
}

int EventLoop::pollTimeoutMs() const {
    if (!m_ready.empty() || !m_yielded.empty()) return 0;
    const Deadline next = m_timers.next();
    if (next == kNoDeadline) return -1;
    const auto left = next - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(ms < kMaxPollMs ? ms : kMaxPollMs);
}

void EventLoop::pollOnce() {
    std::array<epoll_event, 256> events;
    const int timeoutMs = pollTimeoutMs();
    m_pollEntered = Clock::now();
    const int count =
        epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()), timeoutMs);
    const Deadline now = Clock::now();
    m_pollReturned = now;
    for (int i = 0; i < count; ++i) {
        const epoll_event& event = events[static_cast<size_t>(i)];
        const int fd = event.data.fd;
        if (fd == m_wakeFd) {
            uint64_t value;
            [[maybe_unused]] ssize_t got = read(m_wakeFd, &value, sizeof value);
            continue;
        }
        if (fd < 0 || static_cast<size_t>(fd) >= m_watches.size()) continue;
        FdWatch& w = m_watches[static_cast<size_t>(fd)];
        if (!w.registered) continue;
        if (event.events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
            w.readReady = true;
            w.readSeenAt = now;
            wakeWith(w.reader, WaitResult::Ready, now);
        }
        if (event.events & (EPOLLOUT | EPOLLHUP | EPOLLERR)) {
            w.writeReady = true;
            wakeWith(w.writer, WaitResult::Ready, now);
        }
    }
}

void EventLoop::fireTimers() {
    const Deadline now = Clock::now();
    while (TimerEntry* due = m_timers.popDue(now)) {
        auto* task = static_cast<Task*>(due->owner);
        if (!task->parked || task->wanted == kNoDeadline) continue;  // left from an earlier wait
        if (task->wanted > now) {
            m_timers.insert(*due, task->wanted);
            continue;
        }
        // Late by the time the loop was busy past the deadline before it looked
        // (not by epoll's own rounding of its time-out, which is no one's work).
        const Deadline busyUntil = std::max(task->wanted, m_pollEntered);
        wakeWith(task, WaitResult::TimedOut, m_pollReturned - (busyUntil - task->wanted));
    }
}

void EventLoop::beginStop() {
    m_stopping = true;
    beginCancel();
}

void EventLoop::beginCancel() {
    m_cancelled = true;
    const Deadline now = Clock::now();
    for (auto& task : m_tasks) wakeWith(task.get(), WaitResult::Stopped, now);
}

void EventLoop::beginInterruptSleeps() {
    m_sleepsInterrupted = true;
    const Deadline now = Clock::now();
    for (auto& task : m_tasks)
        if (task->sleeping) wakeWith(task.get(), WaitResult::Stopped, now);
}

}  // namespace velk::loop
