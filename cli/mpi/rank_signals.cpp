#include "cli/mpi/rank_signals.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace velk::mpi {
namespace {

void say(const char* text, int rank) {
    char line[400];
    const int n = std::snprintf(line, sizeof line, "velkrun-mpi: rank %d: %s\n", rank, text);
    if (n > 0) [[maybe_unused]]
        auto written =
            write(STDERR_FILENO, line, size_t(n < int(sizeof line) ? n : int(sizeof line) - 1));
}

// SIGUSR1 is what mpirun passes on to every rank for a stop.
const std::initializer_list<int> kRankSignals = {SIGINT, SIGUSR1, SIGTERM};

}  // namespace

void RankSignals::blockInThisThread() {
    velk::cli::SignalWatcher::block(kRankSignals);
}

RankSignals::RankSignals(TestSet* set, int rank)
    : m_set(set),
      m_rank(rank),
      m_watcher(
          kRankSignals, [this](int signal) { taken(signal); },
          velk::cli::SignalWatcher::AtEnd::kKeepBlocked) {}

void RankSignals::taken(int sig) {
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

}  // namespace velk::mpi
