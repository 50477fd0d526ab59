#include "cli/signal_watcher.h"

#include <pthread.h>

#include <csignal>
#include <ctime>

namespace velk::cli {
namespace {

// Sent by the destructor so the watcher ends at once rather than at the end of
// its wait; never handed to the handler.
int wakeSignal() {
    return SIGRTMIN;
}

sigset_t setOf(const std::vector<int>& signals) {
    sigset_t set;
    sigemptyset(&set);
    for (int s : signals) sigaddset(&set, s);
    sigaddset(&set, wakeSignal());
    return set;
}

}  // namespace

SignalWatcher::SignalWatcher(std::initializer_list<int> signals, Handler handler, AtEnd atEnd)
    : m_signals(signals), m_handler(std::move(handler)), m_atEnd(atEnd) {
    const sigset_t set = setOf(m_signals);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_thread = std::thread([this] { watch(); });
}

SignalWatcher::~SignalWatcher() {
    m_stop = true;
    pthread_kill(m_thread.native_handle(), wakeSignal());
    m_thread.join();
    if (m_atEnd == AtEnd::kUnblock) {
        const sigset_t set = setOf(m_signals);
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    }
}

void SignalWatcher::block(std::initializer_list<int> signals) {
    const sigset_t set = setOf(signals);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void SignalWatcher::watch() {
    const sigset_t set = setOf(m_signals);
    // A slice, so that a stop is seen even if the wake signal were lost.
    const timespec slice{0, 200 * 1000 * 1000};
    while (!m_stop) {
        const int sig = sigtimedwait(&set, nullptr, &slice);
        if (sig < 0 || sig == wakeSignal()) continue;
        m_handler(sig);
    }
}

}  // namespace velk::cli
