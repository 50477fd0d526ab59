#pragma once
// A comparison of two runs (run_comparison.h) as text: a table for a terminal,
// Markdown for a pull-request comment, and JUnit XML for CI systems (one test
// case per request, failed when it regressed).  Request names are untrusted
// (they come from the files compared): control characters and bytes that are
// not UTF-8 never reach a terminal, and each format escapes its own
// metacharacters.  Pure functions.
#include <string>
#include <vector>

#include "app/results/run_comparison.h"

namespace velk::results {

enum class ComparisonFormat { Table, Markdown, Junit };

// The request's name as the rows show it: "(all requests)" for the run.
std::string comparedName(const ComparisonRow& row);

// The columns of every format (Request, Count, Errors, p50 ms, p95 ms, p99
// ms, Verdict) and each row's cells as the terminal table prints them, the
// two sides joined by arrow, a regressed figure marked " !".
const std::vector<std::string>& comparisonHeadings();
std::vector<std::vector<std::string>> comparisonCells(const Comparison& comparison,
                                                      const char* arrow);
// "a regression: up by more than 10% and by more than 5 ms (percentiles) or
// 1 pt (error share)".
std::string comparisonLimitsText(const RegressionLimits& limits);

std::string comparisonTable(const Comparison& comparison);
std::string comparisonMarkdown(const Comparison& comparison);
std::string comparisonJunit(const Comparison& comparison);
std::string comparisonText(const Comparison& comparison, ComparisonFormat format);

// "1 regression: login p95 +34.5% (+35.0 ms)", or "no regression".
std::string comparisonVerdict(const Comparison& comparison);

}  // namespace velk::results
