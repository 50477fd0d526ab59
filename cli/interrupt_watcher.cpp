#include "cli/interrupt_watcher.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <ctime>

#include "cli/engine_output.h"

namespace velk::cli {
namespace {

// Sent by the destructor so the watcher ends at once rather than at the end of its
// wait; never taken for an interrupt.
int wakeSignal() {
    return SIGRTMIN;
}

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, wakeSignal());
    return set;
}

}  // namespace

InterruptWatcher::InterruptWatcher(TestSet* set) : m_set(set) {
    sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    m_thread = std::thread([this] { watch(); });
}

InterruptWatcher::~InterruptWatcher() {
    m_stop = true;
    pthread_kill(m_thread.native_handle(), wakeSignal());
    m_thread.join();
    sigset_t signals = stopSignals();
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

void InterruptWatcher::watch() {
    const sigset_t signals = stopSignals();
    const timespec slice{0, 200 * 1000 * 1000};
    while (!m_stop) {
        int sig = sigtimedwait(&signals, nullptr, &slice);
        if (sig < 0 || sig == wakeSignal()) continue;
        int none = 0;
        if (!m_signal.compare_exchange_strong(none, sig)) {
            static const char kMessage[] = "\nvelkrun: stopped at once\n";
            [[maybe_unused]] auto n = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
            _exit(128 + sig);
        }
        printAboveProgress(
            "\nvelkrun: stopping the run (the report is still written; press Ctrl+C again to quit "
            "at once)\n");
        AbortRun(m_set);
    }
}

}  // namespace velk::cli
