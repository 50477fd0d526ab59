#pragma once
// How a velkrun-mpi rank takes signals.  SIGINT (Ctrl+C) and SIGUSR1 (which
// mpirun passes on to every rank) ask for a stop that keeps the report: the
// rank stops its users and says so to the others at the next round.  A second
// one ends the rank at once.  SIGTERM is how Open MPI ends the ranks of a job
// whose rank died or whose mpirun was stopped: the rank says why and ends at
// once, since the results can no longer come together.
//
// Construct it before the engine starts any thread, with the signals already
// blocked in every thread (main blocks them before MPI starts its own).
#include <atomic>

#include "cli/signal_watcher.h"
#include "velkcore.h"

namespace velk::mpi {

class RankSignals {
public:
    RankSignals(TestSet* set, int rank);

    // The first stop signal taken, or 0.
    int signalNumber() const { return m_signal.load(); }

    // The signals main blocks before MPI starts.
    static void blockInThisThread();

private:
    void taken(int signal);

    TestSet* m_set;
    int m_rank;
    std::atomic<int> m_signal{0};
    velk::cli::SignalWatcher m_watcher;  // last: it calls taken() until it is destroyed
};

}  // namespace velk::mpi
