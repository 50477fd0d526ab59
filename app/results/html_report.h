#pragma once
// The HTML report of a run (velkrun --html FILE.html): one self-contained page
// (inline style and SVG charts, no scripts, fonts or anything fetched) with the
// headline figures, a table per request, status codes, traffic, and charts of
// response-time percentiles per request, requests and errors per second and
// active users over the run.  Plain functions.
#include <string>
#include <vector>

#include "app/results/pass_figures.h"
#include "app/results/thresholds.h"

namespace velk::results {

// The program that made the page, named in its footer ("Made by velkrun.").
inline constexpr const char* kVelkrunMaker = "velkrun";
inline constexpr const char* kDesktopMaker = "the VELK desktop program (velk)";

std::string htmlReport(const PassFigures& figures, const std::vector<Threshold>& thresholds,
                       const std::string& maker = kVelkrunMaker);

}  // namespace velk::results
