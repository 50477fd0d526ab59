#pragma once
// SummaryPage: the Summary page of the Results folder: a drop-down of the
// collected passes' titles and the selected pass's response-time figures as
// a table, one row per request and one for all requests (count, errors,
// minimum, mean, percentiles, maximum; for paced runs a second table from
// the intended start).  Columns sort by their numbers (the row of all
// requests stays last); Ctrl+C or the context menu copies the selected rows,
// or all, as tab-separated text.  A pass read from a file without figures
// says "No percentiles in this file"; an empty list shows "No results".
// Below, the pass can be compared with a baseline pass (ComparisonView).  It
// refreshes like the report page.
//
// User-interface thread only.
#include <QString>

#include "app/results/results_container.h"
#include "gui/shell/page.h"

class QComboBox;
class QLabel;
class QStandardItemModel;
class QTableView;

namespace velk::results {

class ComparisonView;
struct SummaryTable;

class SummaryPage : public velk::shell::Page {
    Q_OBJECT
public:
    explicit SummaryPage(CResultsContainer& results, QWidget* parent = nullptr);

    void activatePage() override { refresh(false); }
    void resetPage() override;

    QComboBox* titles() const { return m_titles; }
    // The response times, and the times from the intended start (paced runs).
    QTableView* table() const { return m_table; }
    QTableView* intendedTable() const { return m_intended; }
    ComparisonView* comparison() const { return m_comparison; }
    // "No results", "No percentiles in this file", or empty while a table shows.
    QString message() const;
    // What Copy puts on the clipboard: the selected rows (all when none) in
    // the order shown, under the column headers, tab-separated.
    static QString copiedText(const QTableView* table);

public slots:
    void refresh(bool resetSelection = false);

private:
    void showSelected(bool reload);
    void showMessage(const QString& text);
    QTableView* makeTable(const char* name);
    static void fill(QTableView* table, const SummaryTable& rows);

    CResultsContainer& m_results;
    QComboBox* m_titles;
    QLabel* m_message;
    QLabel* m_note;
    QTableView* m_table;
    QLabel* m_intendedTitle;
    QTableView* m_intended;
    ComparisonView* m_comparison;
    int32_t m_shownRun = 0;
};

}  // namespace velk::results
