// velk: the desktop program.  Wires the document, the pages and the main window
// together; the work itself lives in the folders' libraries.
#include <QApplication>

#include "add_graphics_form_view.h"
#include "graphics_form_view.h"
#include "main_frame.h"
#include "results_container.h"
#include "scenario_document.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Orvantis"));
    QApplication::setApplicationName(QStringLiteral("VELK"));

    velk::model::ScenarioDocument document;
    document.newDocument();

    // The results list, shared by the runner and the results pages; it
    // outlives the frame and its pages.
    velk::results::CResultsContainer results;

    velk::shell::CMainFrame frame;

    // Graphs and Batch Run Graphs pages: they refresh on activation and on
    // resultsChanged(), which the list's notifier must reach through a queued
    // connection because it runs on the thread that changed the list.
    auto* graphsPage = new velk::results::CGraphicsFormView(results);
    auto* batchGraphsPage = new velk::results::CAddGraphicsFormView(results);
    frame.installPage(velk::shell::CMainFrame::kGraphsPage, graphsPage);
    frame.installPage(velk::shell::CMainFrame::kBatchGraphsPage, batchGraphsPage);

    frame.showPage(velk::shell::CMainFrame::kEditorPage);
    frame.show();
    return app.exec();
}
