#pragma once
// RecorderController: the program's recording state.  Start Recording shows
// the recorder page and starts the hook; Stop Recording stops it and, when
// the user stopped it and no test runs, shows the editor.  A new scenario
// stops recording, blanks the browser, renumbers requests from 1 and shows
// the recorder; an opened one stops recording, blanks the browser and shows
// the editor.  The Start and Stop commands are enabled from the state.
//
// User-interface thread only.
#include <QObject>

namespace velk::shell {
class MainWindow;
}

namespace velk::recorder {

class RecorderPage;

class RecorderController : public QObject {
    Q_OBJECT
public:
    RecorderController(shell::MainWindow& frame, RecorderPage& view, QObject* parent = nullptr);

    bool isRecording() const { return m_recording; }

public slots:
    void startRecording();
    // Stopped by the user: the editor is shown unless a test runs.
    void stopRecording();
    // The document is about to be replaced: recording stops without the
    // proposals (they would go to the scenario that is closing).
    void stopBeforeReplacing();
    // A test started or ended (the editor is not shown while one runs).
    void setTestRunning(bool running);
    // The document was replaced: by a new scenario, or by one opened.
    void onNewDocument();
    void onDocumentOpened();
    // Either of the two, told apart by the document's path (a new scenario has
    // none yet).
    void onDocumentReplaced();
    // File > Import HAR...: recording stops, the user picks the file, its
    // requests join the scenario with the proposals dialog, and the editor
    // shows them.
    void importHar();

signals:
    void recordingChanged(bool recording);

private:
    void setRecording(bool recording);
    void halt();

    shell::MainWindow& m_frame;
    RecorderPage& m_view;
    bool m_recording = false;
    bool m_testRunning = false;
};

}  // namespace velk::recorder
