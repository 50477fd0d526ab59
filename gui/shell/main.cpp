// velk: the desktop program.  Wires the document, the pages and the main window
// together; the work itself lives in the folders' libraries.
#include <QApplication>

#include "main_frame.h"
#include "report_form_view.h"
#include "runner.h"
#include "runner_bridge.h"
#include "runner_commands.h"
#include "runner_form_view.h"
#include "scenario_document.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Orvantis"));
    QApplication::setApplicationName(QStringLiteral("VELK"));

    velk::model::ScenarioDocument document;
    document.newDocument();

    velk::shell::CMainFrame frame;

    // Runner and report pages (3, 4): Run Test, Stop Test, Open and Save Results.
    velk::runner::CRunner runner;
    runner.initialize();
    velk::runner::CRunnerBridge runnerBridge(runner);
    auto* runnerView = new velk::runner::CRunnerFormView(document, runnerBridge);
    frame.installPage(velk::shell::CMainFrame::kRunnerPage, runnerView);
    auto* reportView = new velk::results::CReportFormView(runner.results());
    frame.installPage(velk::shell::CMainFrame::kReportPage, reportView);
    velk::runner::connectRunnerCommands(frame, runnerBridge, *runnerView, *reportView);
    const QStringList args = QApplication::arguments();
    const bool openResults =
        args.size() > 1 && args.at(1).endsWith(QStringLiteral(".rlt"), Qt::CaseInsensitive);
    frame.showPage(velk::shell::CMainFrame::kEditorPage);
    frame.show();
    if (openResults) velk::runner::openResultsFile(frame, runnerBridge, *reportView, args.at(1));
    return app.exec();
}
