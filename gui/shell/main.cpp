// velk: the desktop program.  Wires the document, the pages and the main window
// together; the work itself lives in the folders' libraries.
#include <QApplication>

#include "editor_form_view.h"
#include "main_frame.h"
#include "scenario_document.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Orvantis"));
    QApplication::setApplicationName(QStringLiteral("VELK"));

    velk::model::ScenarioDocument document;
    document.newDocument();

    velk::shell::CMainFrame frame;

    // Editor page: the scenario's requests, parameters and options.
    frame.installPage(velk::shell::CMainFrame::kEditorPage,
                      new velk::editor::CEditorFormView(document));

    frame.showPage(velk::shell::CMainFrame::kEditorPage);
    frame.show();
    return app.exec();
}
