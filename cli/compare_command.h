#pragma once
// velkrun --compare BASELINE CURRENT: compares two runs' figures (JSON
// summaries or results files) and prints the comparison; exit status 5 when a
// request regressed, as for a failed threshold.  Its own options:
//   --compare-format table|markdown|junit
//   --compare-percent N       relative limit of a rise, per cent (default 10)
//   --compare-ms N            absolute limit of a percentile's rise (default 5)
//   --compare-error-points N  absolute limit of the error share's rise (default 1)
namespace velk::cli {

// Whether the command line asks for a comparison (an argument "--compare").
bool isCompareCommand(int argc, const char* const* argv);

// The comparison's exit status: 0 no regression, 5 a regression, 1 a file that
// cannot be read, 2 a usage error.
int runCompareCommand(int argc, const char* const* argv);

}  // namespace velk::cli
