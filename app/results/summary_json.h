#pragma once
// The machine-readable summary of a run (velkrun --summary FILE.json), in the
// form docs/summary-schema.json describes.  Plain functions.
#include <string>
#include <vector>

#include "app/results/pass_figures.h"
#include "app/results/thresholds.h"

namespace velk::results {

std::string summaryJson(const PassFigures& figures, const std::vector<Threshold>& thresholds);

}  // namespace velk::results
