#include "gui/results/graphics_form_view.h"

#include <algorithm>

#include "app/graphs/graph_entry.h"

namespace velk::results {

CGraphicsFormView::CGraphicsFormView(CResultsContainer& results, QWidget* parent)
    : GraphPage(results, tr("&Request:"), parent) {}

std::vector<std::string> CGraphicsFormView::choicesFor(const ResultsList& records) const {
    return entryGraphChoices(records);
}

GraphChart CGraphicsFormView::graphFor(const ResultsList& records, int choice) const {
    return entryGraph(records, size_t(std::max(choice, 0)));
}

}  // namespace velk::results
