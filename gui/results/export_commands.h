#pragma once
// ExportController: File > Export > "HTML Report..." and "JSON Summary..." of
// the main window.  They export the pass selected on the results page in view
// (the Text Report or the Summary page) as the files velkrun writes with
// --html and --summary, and are disabled on the other pages and while that
// page lists no pass.  A file dialog asks for the name; the core writes the
// file whole or not at all; a pass that cannot be exported (a file written
// before its figures were kept) or a failed write gets a message box naming
// the pass or the file.
//
// User-interface thread only.
#include <QObject>
#include <QString>
#include <functional>

#include "app/results/pass_export.h"
#include "app/results/results_container.h"

namespace velk::shell {
class MainWindow;
}

namespace velk::results {

class ReportPage;
class SummaryPage;

class ExportController : public QObject {
    Q_OBJECT
public:
    ExportController(velk::shell::MainWindow& frame, CResultsContainer& results, ReportPage& report,
                     SummaryPage& summary, QObject* parent = nullptr);

    // The file dialog, replaceable for tests: returns the chosen path, or an
    // empty string when the user cancelled.
    using SaveDialog = std::function<QString(ExportFormat format, const QString& suggested)>;
    void setSaveDialog(SaveDialog dialog) { m_saveDialog = std::move(dialog); }

    // The pass the commands export; null when there is none.
    ResultsStorePtr selectedPass() const;

public slots:
    void updateEnabling();
    // Asks for a name and writes the selected pass; false when nothing was
    // written (cancelled, nothing to export, or the write failed).
    bool exportSelected(velk::results::ExportFormat format);

private:
    velk::shell::MainWindow& m_frame;
    CResultsContainer& m_results;
    ReportPage& m_report;
    SummaryPage& m_summary;
    SaveDialog m_saveDialog;
};

// A file name for the pass's report: its test's name (or title) without the
// characters a file name cannot hold, and the format's extension.
QString suggestedExportName(const CResultsStore& pass, ExportFormat format);

}  // namespace velk::results
