#include "cli/interrupt_watcher.h"

#include <unistd.h>

#include <csignal>

#include "cli/engine_output.h"

namespace velk::cli {

InterruptWatcher::InterruptWatcher(TestSet* set)
    : m_watcher({SIGINT, SIGTERM}, [this](int signal) { taken(signal); }) {
    setTarget(set);
}

void InterruptWatcher::taken(int signal) {
    int none = 0;
    if (!m_signal.compare_exchange_strong(none, signal)) {
        static const char kMessage[] = "\nvelkrun: stopped at once\n";
        [[maybe_unused]] auto n = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
        _exit(128 + signal);
    }
    printAboveProgress(
        "\nvelkrun: stopping the run (the report is still written; press Ctrl+C again to quit "
        "at once)\n");
    std::lock_guard lock(m_mutex);
    if (m_stop) m_stop();
}

void InterruptWatcher::setTarget(TestSet* set) {
    setStop(set != nullptr ? std::function<void()>([set] { AbortRun(set); }) : nullptr);
}

void InterruptWatcher::setStop(std::function<void()> stop) {
    std::lock_guard lock(m_mutex);
    m_stop = std::move(stop);
    // A signal taken while nothing was the target stops this one at once.
    if (m_stop && m_signal.load() != 0) m_stop();
}

}  // namespace velk::cli
