#pragma once
// GraphPage: what the Graphs and Batch Run Graphs pages share: a drop-down
// of graphs over a chart, or "No results" with the drop-down disabled when
// the results list offers nothing to draw.
//
// The page refreshes when it is shown and when the results list reports a
// change (resultsChanged(), which must be called on the user-interface
// thread: the list's notifier runs on the changing thread and is re-posted
// with a queued connection).  A refresh keeps the previous choice by its text
// and rebuilds the chart only when the list holds other records than the
// ones drawn or another graph was chosen; updates are suspended while the
// chart is rebuilt.  User-interface thread only.
#include <memory>
#include <string>
#include <vector>

#include "app/graphs/graph_chart.h"
#include "app/graphs/graph_common.h"
#include "gui/shell/page.h"

class QComboBox;
class QLabel;
class QStackedWidget;

namespace velk::results {

class ChartView;
class CResultsContainer;

class GraphPage : public velk::shell::Page {
    Q_OBJECT
public:
    GraphPage(CResultsContainer& results, const QString& choiceLabel, QWidget* parent);

    void activatePage() override;
    void resetPage() override;

    ChartView* chart() const { return m_chart; }
    QComboBox* choiceBox() const { return m_choice; }
    QLabel* noteLabel() const { return m_note; }
    // True while "No results" is shown instead of the chart.
    bool showsNoResults() const;
    // How many times the chart was built (a measure for tests).
    int chartBuilds() const { return m_builds; }

public slots:
    void resultsChanged();

protected:
    // The drop-down's items for the list; empty when there is nothing to draw.
    virtual std::vector<std::string> choicesFor(const graphs::ResultsList& records) const = 0;
    virtual graphs::GraphChart graphFor(const graphs::ResultsList& records, int choice) const = 0;

private slots:
    void choiceActivated(int index);

private:
    void refresh();
    void rebuild();
    void showNoResults();
    bool drawnAlready(const graphs::ResultsList& records, int choice) const;
    void draw(const graphs::ResultsList& records, int choice);

    CResultsContainer& m_results;
    QComboBox* m_choice = nullptr;
    QStackedWidget* m_stack = nullptr;
    ChartView* m_chart = nullptr;
    QLabel* m_noResults = nullptr;
    QLabel* m_note = nullptr;  // the graph's note, hidden when it has none
    // The records and graph on the chart: a list with the same records (not
    // only the same last run number: a loaded file may repeat numbers) and
    // the same choice is not drawn again.
    std::vector<std::weak_ptr<const CResultsStore>> m_drawn;
    int m_drawnChoice = -1;
    int m_builds = 0;
};

}  // namespace velk::results
