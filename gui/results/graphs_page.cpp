#include "gui/results/graphs_page.h"

#include <algorithm>

#include "app/graphs/graph_entry.h"

namespace velk::results {

GraphsPage::GraphsPage(CResultsContainer& results, QWidget* parent)
    : GraphPage(results, tr("&Request:"), parent) {}

std::vector<std::string> GraphsPage::choicesFor(const graphs::ResultsList& records) const {
    return graphs::entryGraphChoices(records);
}

graphs::GraphChart GraphsPage::graphFor(const graphs::ResultsList& records, int choice) const {
    return graphs::entryGraph(records, size_t(std::max(choice, 0)));
}

}  // namespace velk::results
