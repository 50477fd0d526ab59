#pragma once
// The report of a run whose users were run by several processes and brought
// together in one test set (velkrun --merge, rank 0 of velkrun-mpi): the report
// file as the script configures it, the report on standard output with
// --report, a .rlt results file when asked, and one closing line.
#include <string>

#include "cli/cli_options.h"
#include "velkcore.h"

namespace velk::cli {

// Returns the exit status: 0, or 4 when the report or results file could not
// be written.  rltPath may be empty.  program prefixes the closing line.
int reportMergedRun(TestSet* set, const CliOptions& options, const std::string& rltPath,
                    const char* program);

// Users of the test without results here (a shard missing), for a warning;
// -1 when the results do not tell (nodetails keeps no per-user results).
int missingUsers(TestSet* set);

}  // namespace velk::cli
