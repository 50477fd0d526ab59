#pragma once
// One rank of velkrun-mpi: runs its share of the test's users (global user
// index i % ranks == rank), starts them together with the other ranks, stops
// with them (Ctrl+C or SIGTERM on any rank, the maxtime limit of each), and
// brings every rank's results to rank 0, which writes the one report.
//
// Runs the engine's RunTest on a thread of its own; this thread keeps every
// MPI call (MPI_THREAD_FUNNELED).
#include "cli/cli_options.h"
#include "cli/mpi/mpi_link.h"

namespace velk::mpi {

// The rank's exit status: rank 0 as velkrun's (0, 1, 3, 4, 130 when stopped); the
// others 0, or 1 when their script does not load.
int runDistributed(const velk::cli::CliOptions& options, MpiLink& link);

}  // namespace velk::mpi
