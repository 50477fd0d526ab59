#pragma once
// velkrun --shard K/N (run one share of a test's users and keep their results
// in a file) and velkrun --merge OUT.rlt (bring such files together into one
// report), for tests shared by machines without MPI, such as the pods of a
// Kubernetes Indexed Job.
#include <string>

#include "cli/cli_options.h"
#include "engine/base/status_or.h"
#include "velkcore.h"

namespace velk::cli {

// Exit status as a plain run's: 0, 1 script, 3 nothing completed (the shard's
// file is still written), 4 the file could not be written, 128+signal.
int runShard(const CliOptions& options);
// Exit status: 0, 1 script or a shard file refused, 4 a file not written.
int runMerge(const CliOptions& options);

// The set's results as ExportResultData gives them, written to path through a
// temporary file beside it: kInvalid when the run left none to keep, kIo when
// the file cannot be written.
Status writeResultData(TestSet* set, const std::string& path);
// Reads path whole (at most kMaxShardBytes); kIo when it cannot.
StatusOr<std::string> readWholeFile(const std::string& path);

}  // namespace velk::cli
