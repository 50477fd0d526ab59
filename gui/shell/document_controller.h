#pragma once
// DocumentController: runs New, Open, Save and Save As of the one scenario
// document for the main window: the file dialogs with the filter
// "VELK Scenario (*.vts)", the prompt to save a changed scenario before it is
// replaced or the window closes, the recent-file list (7 entries, kept in the
// user's settings under "Recent File List"), the window title, and messages
// for files that cannot be read or written (the document then stays as it was).
//
// Around a replacement it emits aboutToReplaceDocument() (stop recording,
// clear the results), resets the frame's pages, shows the recorder page (New)
// or the editor page (Open) and emits documentReplaced().
//
// User-interface thread only.
#include <QObject>
#include <QStringList>
#include <functional>

#include "app/shell/recent_file_list.h"

namespace velk::scenario {
class ScenarioDocument;
}  // namespace velk::scenario

namespace velk::shell {

class MainWindow;

class DocumentController : public QObject {
    Q_OBJECT
public:
    DocumentController(velk::scenario::ScenarioDocument& document, MainWindow& frame,
                       QObject* parent = nullptr);

    // The file dialogs, replaceable for tests: each returns the chosen path or
    // an empty string when the user cancelled.
    using OpenDialog = std::function<QString()>;
    using SaveDialog = std::function<QString(const QString& suggested)>;
    void setFileDialogs(OpenDialog open, SaveDialog save);

    QStringList recentFiles() const;
    // The title shown in the window, "Scenario1 - VELK v2.0" and the like.
    QString windowTitle() const;

    // Asks whether to save a changed document; false when the user cancelled
    // or the save failed, so that whatever was about to happen does not.
    bool saveModified();

public slots:
    bool newDocument();
    // The Open command: asks for a file, then opens it.
    bool openWithDialog();
    // Opens path (after the save prompt); a path that cannot be read gets a
    // message and leaves the document as it was.
    bool openDocument(const QString& path);
    bool save();
    bool saveAs();

signals:
    // Before New or Open replaces the document.
    void aboutToReplaceDocument();
    // After New or Open replaced it (the pages were reset).
    void documentReplaced();

private:
    bool openPrompted(const QString& path);
    void showFreshPage(int number);
    bool saveTo(const QString& path);
    void refreshTitle();
    void addRecent(const QString& path);
    void removeRecent(const QString& path);
    void storeRecent();
    void showError(const std::string& message);

    velk::scenario::ScenarioDocument& m_document;
    MainWindow& m_frame;
    RecentFileList m_recent;
    OpenDialog m_openDialog;
    SaveDialog m_saveDialog;
};

}  // namespace velk::shell
