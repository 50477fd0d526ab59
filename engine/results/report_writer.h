#pragma once
// Writes the text report of a finished run, piece by piece, through a writer:
// header, script clients or basic statistics, traffic, summary times, errors,
// status codes and the table of individual times, each as its options ask.
#include "results/report_input.h"
#include "results/run_statistics.h"

namespace velk {

// Receives each piece of report text with the sink it was given.
using ReportWriter = void (*)(void* sink, const char* text);

// Facts about the machine and the moment that the header shows; gathered by the
// caller so the report itself can be produced from fixed inputs.
struct ReportHeaderFacts {
    std::string started;   // ctime text of the run's start (ends with a line end)
    std::string finished;  // ... and of its end
    std::string userName;
    std::string hostName;
};

// writer must not be null.
void writeReport(const ReportInput& input, const RunStatistics& stats,
                 const ReportHeaderFacts& facts, ReportWriter writer, void* sink);

}  // namespace velk
