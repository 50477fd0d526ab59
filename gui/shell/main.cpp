// velk: the desktop program.  Wires the document, the pages and the main window
// together; the work itself lives in the folders' libraries.
#include <QApplication>

#include "main_frame.h"
#ifdef VELK_WITH_RECORDER
#include "recorder_controller.h"
#include "recorder_form_view.h"
#endif
#include "scenario_document.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Orvantis"));
    QApplication::setApplicationName(QStringLiteral("VELK"));

    velk::model::ScenarioDocument document;
    document.newDocument();

    velk::shell::CMainFrame frame;

#ifdef VELK_WITH_RECORDER
    // Recorder page: the embedded browser whose navigations become requests.
    auto* recorderView = new velk::recorder::CRecorderFormView(document);
    frame.installPage(velk::shell::CMainFrame::kRecorderPage, recorderView);
    auto* recorder = new velk::recorder::CRecorderController(frame, *recorderView, &frame);
    // At merge: documentReplaced() -> recorder->onDocumentReplaced(),
    // the runner's running state -> recorder->setTestRunning(), and Run Test
    // disabled while recorder->isRecording() (recordingChanged).
    (void)recorder;
#endif

    frame.showPage(velk::shell::CMainFrame::kEditorPage);
    frame.show();
    return app.exec();
}
