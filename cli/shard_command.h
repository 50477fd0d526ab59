#pragma once
// velkrun --shard K/N (run one share of a test's users and keep their results
// in a file) and velkrun --merge OUT.rlt (bring such files together into one
// report), for tests shared by machines without MPI, such as the pods of a
// Kubernetes Indexed Job.
#include <string>

#include "cli/cli_options.h"
#include "velkcore.h"

namespace velk::cli {

// Exit status as a plain run's: 0, 1 script, 3 nothing completed (the shard's
// file is still written), 4 the file could not be written, 128+signal.
int runShard(const CliOptions& options);
// Exit status: 0, 1 script or a shard file refused, 4 a file not written.
int runMerge(const CliOptions& options);

// The set's results as ExportResultData gives them, written to path through a
// temporary file beside it; false with error set.
bool writeResultData(TestSet* set, const std::string& path, std::string& error);
// Reads path whole into bytes; false with error set.
bool readWholeFile(const std::string& path, std::string& bytes, std::string& error);

}  // namespace velk::cli
