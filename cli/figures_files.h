#pragma once
// --summary, --html and --threshold after a run with results: one process's
// run, or the shares of a run brought together (--merge, velkrun-mpi).
#include <optional>

#include "app/results/pass_figures.h"
#include "cli/cli_options.h"
#include "velkcore.h"

namespace velk::cli {

// Writes the summary and HTML files of a pass's figures, each replacing an old
// one only when complete; program names the messages.  Nothing when none of
// the options is given; 4 when there are no figures or a file could not be
// written, else 0.
int writeFigures(const std::optional<results::PassFigures>& figures, const CliOptions& options,
                 const char* program);

}  // namespace velk::cli
