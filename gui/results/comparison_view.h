#pragma once
// ComparisonView: the Summary page's comparison of the pass on show with a
// baseline pass the user picks ("Compare with:"): per request and for all
// requests, the count, the error share and the 50th, 95th and 99th
// percentiles of both with the change, judged by the rule velkrun --compare
// applies (app/results/run_comparison.h, with its default limits).  A
// regressed row is drawn in red and bold with "REGRESSION" as its verdict and
// " !" after each figure that regressed, so the mark does not rest on colour
// alone; a line above the table sums the verdict up.
//
// User-interface thread only.
#include <QWidget>
#include <vector>

#include "app/results/results_container.h"

class QComboBox;
class QLabel;
class QTableWidget;

namespace velk::results {

class ComparisonView : public QWidget {
    Q_OBJECT
public:
    explicit ComparisonView(QWidget* parent = nullptr);

    // The passes offered as baselines; the chosen one stays chosen while the
    // list still holds it.
    void setPasses(const std::vector<ResultsStorePtr>& records);
    // Compares current (none: nothing to compare) with the chosen baseline.
    void compare(const ResultsStorePtr& current);
    // Forgets the passes (an emptied list).
    void reset();

    QComboBox* baselines() const { return m_baselines; }
    QTableWidget* table() const { return m_table; }
    // The line above the table ("" while no baseline is chosen).
    QString verdict() const;

private:
    void showComparison();

    QComboBox* m_baselines;
    QLabel* m_verdict;
    QTableWidget* m_table;
    std::vector<ResultsStorePtr> m_records;
    ResultsStorePtr m_current;
};

}  // namespace velk::results
