#pragma once
// velkrun's one way to run a test: a single run, a run kept in a results file
// (--results) and a batch run (--cycle) are the same passes with the same
// closing line, figures files and exit statuses; a batch run only adds passes
// and the desktop program's messages between them.
#include <cstdint>
#include <vector>

#include "cli/cli_options.h"

namespace velk::cli {

// Runs the load test and writes its report.  Returns the process exit status.
int runLoadTest(const CliOptions& options);

// The values of the cycled option, pass by pass: FROM, then on by STEP while
// not past TO (STEP 0: one pass); one value (0) without --cycle.
std::vector<int32_t> passValues(const CliOptions& options);

}  // namespace velk::cli
