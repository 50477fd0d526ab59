#pragma once
// velkrun's batch runs and results files: with --cycle or --results the test
// runs through the desktop program's runner, pass by pass with its messages,
// and every finished pass is collected as the desktop program collects it.
#include "cli/cli_options.h"

namespace velk::cli {

// True when the options ask for the runner (--cycle or --results).
bool usesRunner(const CliOptions& options);

// Runs the test with the runner; returns the process exit status: 0 every
// pass finished; 1 the script cannot be read or does not parse; 3 a pass
// failed; 4 the results file could not be written; 130 stopped by Ctrl+C.
int runWithRunner(const CliOptions& options);

}  // namespace velk::cli
