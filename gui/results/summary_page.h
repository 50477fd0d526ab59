#pragma once
// SummaryPage: the Summary page of the Results folder: a drop-down of
// the collected passes' titles and the selected pass's response-time figures
// per request and overall (count, errors, minimum, mean, percentiles,
// maximum; for paced runs the figures from the intended start too).  A pass
// read from a file without them says "No percentiles in this file"; an empty
// list shows "No results".  It refreshes like the report page.
//
// User-interface thread only.
#include "app/results/results_container.h"
#include "gui/shell/page.h"

class QComboBox;
class QPlainTextEdit;

namespace velk::results {

class SummaryPage : public velk::shell::Page {
    Q_OBJECT
public:
    explicit SummaryPage(CResultsContainer& results, QWidget* parent = nullptr);

    void activatePage() override { refresh(false); }
    void resetPage() override;

    QComboBox* titles() const { return m_titles; }
    QPlainTextEdit* summaryBox() const { return m_text; }

public slots:
    void refresh(bool resetSelection = false);

private:
    void showSelected(bool reload);

    CResultsContainer& m_results;
    QComboBox* m_titles;
    QPlainTextEdit* m_text;
    int32_t m_shownRun = 0;
};

}  // namespace velk::results
