#pragma once
// velkrun's one way to run a test: a single run, a run kept in a results file
// (--results) and a batch run (--cycle) are the same passes with the same
// closing line, figures files and exit statuses; a batch run only adds passes
// and the desktop program's messages between them.
#include "app/runner/pass_plan.h"
#include "cli/cli_options.h"

namespace velk::cli {

// Runs the load test and writes its report.  Returns the process exit status.
int runLoadTest(const CliOptions& options);

// The batch run --cycle and --pause ask for, as the desktop program's runner
// steps through it.
runner::CycleSettings cycleSettings(const CliOptions& options);

}  // namespace velk::cli
