#pragma once
// Exporting a collected pass: the JSON summary and the HTML report that
// velkrun writes with --summary and --html, made by the same functions from
// the figures the pass keeps (its PassFigures and their totals), so that a
// pass opened from a results file gives the files its run gave.  Thresholds
// are velkrun's alone: an exported summary lists none.
//
// Plain functions; safe from any thread.
#include <string>

#include "app/results/pass_figures.h"
#include "app/results/results_store.h"
#include "engine/base/status_or.h"

namespace velk::results {

enum class ExportFormat { kHtmlReport, kJsonSummary };

// The figures of a pass's reports (never null); kInvalid with a sentence for
// the user when the pass lacks them (a file written before they were kept).
StatusOr<const PassFigures*> runFiguresOf(const CResultsStore& pass);

// The name a pass's export is offered under, without its extension: the
// test's name as the report files name it (its last path part, cut at its
// last "."), followed for a pass of a batch run by its cycled value
// ("shop - Virtual users=5"); the pass's title when the test has no name.
std::string exportBaseName(const CResultsStore& pass);

// The file's text.
std::string exportText(const PassFigures& figures, ExportFormat format);

// Writes the pass's report to path, replacing an old file only when the new one
// is complete.  Fails saying why: the pass cannot be exported (kInvalid), or
// the path and the cause of the failed write (kIo; the old file is left as it
// was).
Status exportPass(const CResultsStore& pass, ExportFormat format, const std::string& path);

}  // namespace velk::results
