#pragma once
// CAddGraphicsFormView: the "Batch Run Graphs" page: per-pass figures of a
// cycling run against the cycled value (mean, largest and smallest time per
// entry, overall performance, errors, bandwidth).  Shows "No results" unless
// the first record belongs to a batch run.  User-interface thread only; see
// GraphPage for refreshing.
#include "gui/results/graph_page.h"

namespace velk::results {

class CAddGraphicsFormView : public GraphPage {
    Q_OBJECT
public:
    explicit CAddGraphicsFormView(CResultsContainer& results, QWidget* parent = nullptr);

protected:
    std::vector<std::string> choicesFor(const ResultsList& records) const override;
    GraphChart graphFor(const ResultsList& records, int choice) const override;
};

}  // namespace velk::results
