#include "loop/loop_group.h"

#include <thread>

namespace velk::loop {
namespace {

// The loop threads' own stacks only run the loop: the users run on coroutine stacks.
constexpr size_t kLoopThreadStack = 256 * 1024;

}  // namespace

LoopGroup::LoopGroup(size_t threads, LoopOptions options, std::function<void()> onThreadStart) {
    if (threads == 0) threads = std::thread::hardware_concurrency();
    if (threads == 0) threads = 1;
    m_started = true;
    m_resolver = std::make_unique<ResolverPool>();
    for (size_t i = 0; i < threads; ++i) {
        m_loops.push_back(std::make_unique<EventLoop>(options));
        if (!m_loops.back()->valid()) m_started = false;
        m_loops.back()->setResolver(m_resolver.get());
    }
    if (!m_started) return;
    for (auto& loop : m_loops) {
        platform::Thread thread;
        EventLoop* raw = loop.get();
        if (!thread.start(kLoopThreadStack, [raw, onThreadStart] {
                if (onThreadStart) onThreadStart();
                raw->run();
            })) {
            m_started = false;
            break;
        }
        m_threads.push_back(std::move(thread));
    }
    if (!m_started) {
        // Let the threads that did start end, or join() would wait forever.
        for (auto& loop : m_loops) loop->stop();
    }
}

LoopGroup::~LoopGroup() {
    stop();
    join();
    // Look-ups still running post to the loops: the pool goes first.
    m_resolver.reset();
}

size_t LoopGroup::spawn(std::function<void()> body) {
    const size_t index = m_next.fetch_add(1, std::memory_order_relaxed) % m_loops.size();
    m_loops[index]->spawn(std::move(body));
    return index;
}

void LoopGroup::setFailureHandler(const std::function<void(const std::string&)>& handler) {
    for (auto& loop : m_loops) loop->setFailureHandler(handler);
}

void LoopGroup::stop() {
    for (auto& loop : m_loops) loop->stop();
}

void LoopGroup::cancelWaits() {
    for (auto& loop : m_loops) loop->cancelWaits();
}

void LoopGroup::interruptSleeps() {
    for (auto& loop : m_loops) loop->interruptSleeps();
}

void LoopGroup::finishWhenIdle() {
    for (auto& loop : m_loops) loop->finishWhenIdle();
}

void LoopGroup::join() {
    for (auto& thread : m_threads) thread.join();
}

}  // namespace velk::loop
