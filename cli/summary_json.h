#pragma once
// The machine-readable summary of a run (velkrun --summary FILE.json), in the
// form docs/summary-schema.json describes.  Plain functions.
#include <string>
#include <vector>

#include "cli/run_figures.h"
#include "cli/thresholds.h"

namespace velk::cli {

std::string summaryJson(const RunFigures& figures, const std::vector<Threshold>& thresholds);

}  // namespace velk::cli
