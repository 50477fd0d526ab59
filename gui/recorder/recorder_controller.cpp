#include "gui/recorder/recorder_controller.h"

#include <QAction>

#include "app/scenario/scenario_document.h"
#include "gui/recorder/recorder_form_view.h"
#include "gui/shell/main_frame.h"

namespace velk::recorder {

using shell::CMainFrame;

RecorderController::RecorderController(CMainFrame& frame, CRecorderFormView& view, QObject* parent)
    : QObject(parent), m_frame(frame), m_view(view) {
    QAction* start = frame.action(CMainFrame::kStartRecording);
    QAction* stop = frame.action(CMainFrame::kStopRecording);
    start->setStatusTip(tr("Start recording"));
    start->setToolTip(tr("Start Recording"));
    stop->setStatusTip(tr("Stop recording"));
    stop->setToolTip(tr("Stop Recording"));
    start->setIconText(tr("Start Rec"));
    stop->setIconText(tr("Stop Rec"));
    connect(start, &QAction::triggered, this, &RecorderController::startRecording);
    connect(stop, &QAction::triggered, this, &RecorderController::stopRecording);
    setRecording(false);
}

void RecorderController::startRecording() {
    if (m_recording) return;
    setRecording(true);
    m_frame.showPage(CMainFrame::kRecorderPage);
    m_view.beginRecording();
    m_view.hook().start();
    QMetaObject::invokeMethod(&m_view, "refresh", Qt::QueuedConnection, Q_ARG(bool, true));
}

void RecorderController::stopRecording() {
    if (!m_recording) return;
    halt();
    m_view.offerProposals();
    if (!m_testRunning) m_frame.showPage(CMainFrame::kEditorPage);
}

void RecorderController::stopBeforeReplacing() {
    if (!m_recording) return;
    halt();
    if (!m_testRunning) m_frame.showPage(CMainFrame::kEditorPage);
}

void RecorderController::setTestRunning(bool running) {
    m_testRunning = running;
}

void RecorderController::onNewDocument() {
    halt();
    m_view.blank();
    m_view.reattach(true);
    m_view.refresh();
    m_frame.showPage(CMainFrame::kRecorderPage);
}

void RecorderController::onDocumentOpened() {
    halt();
    m_view.blank();
    m_view.reattach(false);
    m_view.refresh();
    m_frame.showPage(CMainFrame::kEditorPage);
}

void RecorderController::onDocumentReplaced() {
    if (m_view.document().path().empty())
        onNewDocument();
    else
        onDocumentOpened();
}

void RecorderController::halt() {
    m_view.hook().stop();
    if (m_recording) setRecording(false);
}

void RecorderController::setRecording(bool recording) {
    const bool changed = m_recording != recording;
    m_recording = recording;
    m_frame.action(CMainFrame::kStartRecording)->setEnabled(!recording);
    m_frame.action(CMainFrame::kStopRecording)->setEnabled(recording);
    if (changed) emit recordingChanged(recording);
}

}  // namespace velk::recorder
