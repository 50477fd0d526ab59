#pragma once
#include "cli/cli_options.h"

namespace velk::cli {

// Runs the load test and writes its report.  Returns the process exit status.
int runLoadTest(const CliOptions& options);

}  // namespace velk::cli
