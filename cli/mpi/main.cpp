// velkrun-mpi: velkrun's run of a test shared by the ranks of an MPI job
// (mpirun -n N velkrun-mpi [velkrun options] SCRIPT); rank 0 writes the report.
#include <mpi.h>

#include <cstdio>
#include <new>

#include "cli/cli_options.h"
#include "cli/engine_output.h"
#include "cli/mpi/distributed_run.h"
#include "cli/mpi/mpi_link.h"
#include "cli/mpi/rank_signals.h"
#include "velkcore.h"

namespace {

int runRank(int argc, char** argv, velk::mpi::MpiLink& link) {
    velk::cli::ParsedCli parsed = velk::cli::parseCli(argc, argv);
    const velk::cli::CliOptions& o = parsed.options;
    if (parsed.ok && o.command != velk::cli::Command::Run) {
        parsed.ok = false;
        parsed.error =
            "velkrun-mpi only runs tests (no --check, --print-script, --help or --version)";
    } else if (parsed.ok && (o.cycling || o.shards > 0 || !o.mergeOut.empty())) {
        parsed.ok = false;
        parsed.error = "--cycle, --shard and --merge are not for velkrun-mpi";
    }
    if (!parsed.ok) {
        if (link.rank() == 0) std::fprintf(stderr, "velkrun-mpi: %s\n", parsed.error.c_str());
        return 2;
    }
    InitKS(0, 0);
    // The engine's own progress line would count this rank only; rank 0 shows all.
    velk::cli::installEngineOutput(velk::cli::ProgressMode::None);
    const int status = velk::mpi::runDistributed(o, link);
    CleanupKS();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // Stop signals go to the watcher's thread only: block them before MPI makes
    // threads of its own, which would otherwise take them and end the rank.
    velk::mpi::RankSignals::blockInThisThread();

    int provided = 0;
    if (MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided) != MPI_SUCCESS) {
        std::fputs("velkrun-mpi: MPI did not start\n", stderr);
        return 1;
    }
    int status;
    try {
        velk::mpi::MpiLink link;
        status = runRank(argc, argv, link);
    } catch (const std::bad_alloc&) {
        std::fputs("velkrun-mpi: out of memory\n", stderr);
        MPI_Abort(MPI_COMM_WORLD, 1);
        return 1;
    }
    MPI_Finalize();
    return status;
}
