#include "gui/recorder/recorder_controller.h"

#include <QAction>
#include <QFileDialog>

#include "app/scenario/scenario_document.h"
#include "gui/recorder/recorder_page.h"
#include "gui/shell/main_window.h"

namespace velk::recorder {

using shell::MainWindow;

RecorderController::RecorderController(MainWindow& frame, RecorderPage& view, QObject* parent)
    : QObject(parent), m_frame(frame), m_view(view) {
    QAction* start = frame.action(MainWindow::kStartRecording);
    QAction* stop = frame.action(MainWindow::kStopRecording);
    start->setStatusTip(tr("Start recording"));
    start->setToolTip(tr("Start Recording"));
    stop->setStatusTip(tr("Stop recording"));
    stop->setToolTip(tr("Stop Recording"));
    start->setIconText(tr("Start Rec"));
    stop->setIconText(tr("Stop Rec"));
    connect(start, &QAction::triggered, this, &RecorderController::startRecording);
    connect(stop, &QAction::triggered, this, &RecorderController::stopRecording);
    connect(frame.action(MainWindow::kImportHar), &QAction::triggered, this,
            &RecorderController::importHar);
    setRecording(false);
}

void RecorderController::startRecording() {
    if (m_recording) return;
    setRecording(true);
    m_frame.showPage(MainWindow::kRecorderPage);
    m_view.beginRecording();
    m_view.hook().start();
    QMetaObject::invokeMethod(&m_view, "refresh", Qt::QueuedConnection, Q_ARG(bool, true));
}

void RecorderController::stopRecording() {
    if (!m_recording) return;
    halt();
    m_view.offerProposals();
    if (!m_testRunning) m_frame.showPage(MainWindow::kEditorPage);
}

void RecorderController::stopBeforeReplacing() {
    if (!m_recording) return;
    halt();
    if (!m_testRunning) m_frame.showPage(MainWindow::kEditorPage);
}

void RecorderController::setTestRunning(bool running) {
    m_testRunning = running;
}

void RecorderController::onNewDocument() {
    halt();
    m_view.blank();
    m_view.reattach(true);
    m_view.refresh();
    m_frame.showPage(MainWindow::kRecorderPage);
}

void RecorderController::onDocumentOpened() {
    halt();
    m_view.blank();
    m_view.reattach(false);
    m_view.refresh();
    m_frame.showPage(MainWindow::kEditorPage);
}

void RecorderController::onDocumentReplaced() {
    if (m_view.document().path().empty())
        onNewDocument();
    else
        onDocumentOpened();
}

void RecorderController::importHar() {
    halt();
    const QString path = QFileDialog::getOpenFileName(&m_frame, tr("Import HAR"), QString(),
                                                      tr("HAR Files (*.har);;All Files (*)"));
    if (path.isEmpty()) return;
    if (m_view.importHar(path) && !m_testRunning) m_frame.showPage(MainWindow::kEditorPage);
}

void RecorderController::halt() {
    m_view.hook().stop();
    if (m_recording) setRecording(false);
}

void RecorderController::setRecording(bool recording) {
    const bool changed = m_recording != recording;
    m_recording = recording;
    m_frame.action(MainWindow::kStartRecording)->setEnabled(!recording);
    m_frame.action(MainWindow::kStopRecording)->setEnabled(recording);
    if (changed) emit recordingChanged(recording);
}

}  // namespace velk::recorder
