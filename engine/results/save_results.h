#pragma once
// Saving the results of a finished run: the text report through the caller's
// writer, or into the report file named by the outfile template, and the
// summary record.
//
// Call only after the run has ended; not from two threads at once for the same
// input.  Everything is computed afresh at each call, so saving twice gives the
// same numbers.
#include <cstdint>
#include <string>

#include "results/report_input.h"
#include "results/report_writer.h"
#include "results/summary_record.h"

namespace velk {

// With a writer, every piece of the report goes to it with sink and no file is
// opened.  Without one (null), the report goes to reportdir/<expanded outfile>,
// appended when appendresult is 1, else replacing it; nothing is written when
// outfile or reportdir is empty.  An outfile template is expanded (and warns
// about unknown macros) whenever it is not empty.
//
// summary, when not null, is filled.  testNameOut, when not null, receives the
// name the report used for the test (the projectname option), which the caller
// keeps as the test's name from now on.
//
// Returns 0, or -1 when the report file could not be opened or written (the
// cause has been reported).
int32_t saveResults(const ReportInput& input, void* sink, ReportWriter writer,
                    SummaryRecord* summary, std::string* testNameOut);

// The summary record for statistics already computed.
SummaryRecord makeSummary(const RunStatistics& stats, const GeneralOptions& options);

}  // namespace velk
