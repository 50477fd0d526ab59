#pragma once
// --summary, --html and --threshold after a run with results: one process's
// run, or the shares of a run brought together (--merge, velkrun-mpi).
#include "app/results/run_figures.h"
#include "cli/cli_options.h"
#include "velkcore.h"

namespace velk::cli {

// The figures and the reports made of them belong to the application core.
using velk::results::RequestFigures;
using velk::results::RunFigures;

// Reads the figures (for the thresholds too) and writes the summary and HTML
// files, each replacing an old one only when complete; program names the
// messages.  Nothing when none of the options is given; 4 when there are no
// figures or a file could not be written, else 0.
int writeFigures(TestSet* set, const CliOptions& options, const char* program, RunFigures& figures,
                 bool& haveFigures);

}  // namespace velk::cli
