#include "gui/results/add_graphics_form_view.h"

#include "app/graphs/graph_batch.h"

namespace velk::results {

CAddGraphicsFormView::CAddGraphicsFormView(CResultsContainer& results, QWidget* parent)
    : GraphPage(results, tr("&Graph:"), parent) {}

std::vector<std::string> CAddGraphicsFormView::choicesFor(const ResultsList& records) const {
    return batchGraphChoices(records);
}

GraphChart CAddGraphicsFormView::graphFor(const ResultsList& records, int choice) const {
    if (choice < 0 || choice >= kBatchGraphCount) return {};
    return batchGraph(records, BatchGraph(choice));
}

}  // namespace velk::results
