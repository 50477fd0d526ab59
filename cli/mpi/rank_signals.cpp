#include "cli/mpi/rank_signals.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <ctime>

namespace velk::mpi {
namespace {

// Sent by the destructor to end the watcher's wait; never a stop.
int wakeSignal() {
    return SIGRTMIN;
}

sigset_t watchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, wakeSignal());
    return set;
}

void say(const char* text, int rank) {
    char line[400];
    const int n = std::snprintf(line, sizeof line, "velkrun-mpi: rank %d: %s\n", rank, text);
    if (n > 0) [[maybe_unused]]
        auto written =
            write(STDERR_FILENO, line, size_t(n < int(sizeof line) ? n : int(sizeof line) - 1));
}

}  // namespace

void RankSignals::blockInThisThread() {
    const sigset_t signals = watchedSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

RankSignals::RankSignals(TestSet* set, int rank) : m_set(set), m_rank(rank) {
    blockInThisThread();
    m_thread = std::thread([this] { watch(); });
}

RankSignals::~RankSignals() {
    m_stop = true;
    pthread_kill(m_thread.native_handle(), wakeSignal());
    m_thread.join();
}

void RankSignals::watch() {
    const sigset_t signals = watchedSignals();
    const timespec slice{0, 200 * 1000 * 1000};
    while (!m_stop) {
        const int sig = sigtimedwait(&signals, nullptr, &slice);
        if (sig < 0 || sig == wakeSignal()) continue;
        if (sig == SIGTERM) {
            say(m_rank == 0
                    ? "ended by Open MPI (SIGTERM): another rank has ended or mpirun was stopped; "
                      "no report is written"
                    : "ended by Open MPI (SIGTERM)",
                m_rank);
            _exit(128 + SIGTERM);
        }
        int none = 0;
        if (!m_signal.compare_exchange_strong(none, sig)) {
            say("stopped at once", m_rank);
            _exit(128 + sig);
        }
        say("stopping every rank (the report is still written; interrupt again to quit at once)",
            m_rank);
        AbortRun(m_set);
    }
}

}  // namespace velk::mpi
