#pragma once
// The trailer of a results file: each pass's figures (percentiles, timeline,
// the run's totals), after the records.
//
// The figures after the records: a marker, a version, the record count, then
// for each record a presence flag and, when present, the byte count of its
// figures and the figures.  Readers that stop after the records never see
// them; a later version may append fields to a record's figures, which this
// reader steps over by the byte count.
//
// After a record's timeline come sections, each a tag, a byte count and its
// bytes: the run's totals, and whatever a later version adds, which this
// reader steps over by the byte count.  A reader that knew no sections steps
// over them all.
//
// Files of passes without figures have no trailer.  Plain functions; safe from
// any thread.
#include <memory>
#include <vector>

#include "app/results/results_store.h"
#include "app/results/rlt_items.h"

namespace velk::results {

void writeFigures(RltWriter& out, const std::vector<ResultsStorePtr>& records);
// Gives each record the figures the trailer holds for it, up to the first
// damaged one; the records themselves stay whatever the trailer holds.
void readFigures(RltReader& in, std::vector<std::shared_ptr<CResultsStore>>& records);

}  // namespace velk::results
