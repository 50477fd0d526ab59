#pragma once
// GraphsPage: the "Graphs" page: the response times of one chosen
// sequence entry (Max, Avg and Min per iteration of a single pass, per pass
// of a batch run, or single points for a pass in summary form).  The
// drop-down lists the first record's entry names.  User-interface thread
// only; see GraphPage for refreshing.
#include "gui/results/graph_page.h"

namespace velk::results {

class GraphsPage : public GraphPage {
    Q_OBJECT
public:
    explicit GraphsPage(CResultsContainer& results, QWidget* parent = nullptr);

protected:
    std::vector<std::string> choicesFor(const graphs::ResultsList& records) const override;
    graphs::GraphChart graphFor(const graphs::ResultsList& records, int choice) const override;
};

}  // namespace velk::results
