#pragma once
#include "cli/cli_options.h"

namespace velk::cli {

// Parses the test script and prints what the engine reports about it.  Returns
// the process exit status: 0 when the script parsed, 1 otherwise.
int runCheck(const CliOptions& options);

}  // namespace velk::cli
