#pragma once
// What the statistics and the text report read about the last run of a set,
// gathered for the exports that report on it.
#include "api/test_set.h"
#include "results/report_input.h"

namespace velk::api {

// The input refers into run, which must outlive it.
ReportInput reportInput(const TestRun& run);

}  // namespace velk::api
