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

// Every rank parses its arguments at once: no rank waits long for another.
constexpr int kArgumentsTimeoutSeconds = 30;

int runRank(int argc, char** argv, velk::mpi::MpiLink& link) {
    velk::cli::ParsedCli parsed = velk::cli::parseCli(argc, argv);
    const velk::cli::CliOptions& o = parsed.options;
    if (parsed.ok && o.command == velk::cli::Command::Help) {
        if (link.rank() == 0) {
            std::fputs(
                "Usage: mpirun -n RANKS velkrun-mpi [velkrun options] SCRIPT [-name=value ...]\n"
                "Runs the test SCRIPT shared by the ranks of an MPI job: rank K runs the\n"
                "users i with i % RANKS = K, and rank 0 writes the report of all users.\n"
                "--cycle, --shard, --merge, --check and --print-script are not for it.\n"
                "velkrun's options follow:\n\n",
                stdout);
            std::fputs(velk::cli::usageText(), stdout);
        }
        return 0;
    }
    if (parsed.ok && o.command != velk::cli::Command::Run) {
        parsed.ok = false;
        parsed.error = "velkrun-mpi only runs tests (no --check, --print-script or --version)";
    } else if (parsed.ok && (o.cycling || o.shards > 0 || !o.mergeOut.empty())) {
        parsed.ok = false;
        parsed.error = "--cycle, --shard and --merge are not for velkrun-mpi";
    }
    // Every rank checks its own arguments (a job may give ranks different ones),
    // and the job ends at once when any rank refuses them.
    if (!parsed.ok)
        std::fprintf(stderr, "velkrun-mpi: rank %d: %s\n", link.rank(), parsed.error.c_str());
    if (!link.allAgree(parsed.ok, kArgumentsTimeoutSeconds, "checking the arguments")) {
        if (parsed.ok && link.rank() == 0)
            std::fprintf(stderr, "velkrun-mpi: another rank refused its arguments\n");
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
