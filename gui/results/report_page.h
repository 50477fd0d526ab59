#pragma once
// ReportPage: the report page (page 4): a drop-down of the collected
// passes' titles and the selected pass's text report.  It refreshes when the
// results list changes and when it is shown: the pass shown before stays
// selected while it is in the list, else the first one is; an empty list
// shows "No results".
//
// User-interface thread only.  Records are shared references, so a shown
// report stays valid after the list was cleared.
#include <QString>

#include "app/results/results_container.h"
#include "gui/shell/page.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;

namespace velk::results {

// What a results page shows while no pass is listed.
inline const QString kNoResults = QStringLiteral("No results");

// Lists the passes' titles in `titles`, each carrying its run number, and
// selects the pass numbered `keep` (the first when it is 0 or gone). Both
// results pages choose their pass this way.
void fillPassList(QComboBox* titles, const std::vector<ResultsStorePtr>& records, int32_t keep);

class ReportPage : public velk::shell::Page {
    Q_OBJECT
public:
    explicit ReportPage(CResultsContainer& results, QWidget* parent = nullptr);

    void activatePage() override { refresh(false); }
    void resetPage() override;

    QComboBox* titles() const { return m_titles; }
    QPlainTextEdit* reportBox() const { return m_report; }
    // The load generator's warning for the shown pass; hidden when it has none.
    QLabel* lagWarning() const { return m_lagWarning; }

public slots:
    // Rebuilds the drop-down from the list; resetSelection shows the first
    // pass (after a results file was opened).
    void refresh(bool resetSelection = false);

private:
    void showSelected(bool reload);

    CResultsContainer& m_results;
    QComboBox* m_titles;
    QPlainTextEdit* m_report;
    QLabel* m_lagWarning;
    int32_t m_shownRun = 0;  // run number of the report in the box, 0 none
};

}  // namespace velk::results
