#pragma once
// AddGraphsPage: the "Batch Run Graphs" page: per-pass figures of a
// cycling run against the cycled value (mean, largest and smallest time per
// entry, overall performance, errors, bandwidth).  Shows "No results" unless
// the first record belongs to a batch run.  User-interface thread only; see
// GraphPage for refreshing.
#include "gui/results/graph_page.h"

namespace velk::results {

class AddGraphsPage : public GraphPage {
    Q_OBJECT
public:
    explicit AddGraphsPage(CResultsContainer& results, QWidget* parent = nullptr);

protected:
    std::vector<std::string> choicesFor(const graphs::ResultsList& records) const override;
    graphs::GraphChart graphFor(const graphs::ResultsList& records, int choice) const override;
};

}  // namespace velk::results
