#include "gui/results/add_graphs_page.h"

#include "app/graphs/graph_batch.h"

namespace velk::results {

AddGraphsPage::AddGraphsPage(CResultsContainer& results, QWidget* parent)
    : GraphPage(results, tr("&Graph:"), parent) {}

std::vector<std::string> AddGraphsPage::choicesFor(const graphs::ResultsList& records) const {
    return graphs::batchGraphChoices(records);
}

graphs::GraphChart AddGraphsPage::graphFor(const graphs::ResultsList& records, int choice) const {
    if (choice < 0 || choice >= graphs::kBatchGraphCount) return {};
    return graphs::batchGraph(records, graphs::BatchGraph(choice));
}

}  // namespace velk::results
