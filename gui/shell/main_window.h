#pragma once
// MainWindow: the main window: six pages of which one is shown, the menus and
// toolbar with the program's commands, the status bar with its progress bar,
// and the navigation bar that selects the pages.
//
// Commands are QActions that the owners of the work connect to (the runner to
// Run Test and Stop Test, the recorder to the recording commands, the
// document's controller to New, Open and Save); the frame keeps only the
// enabling state it is told about.  The recorder item of the navigation bar
// asks (once, unless told not to) whether recording should start whenever the
// recorder page is entered, and triggers Start Recording when it should.
// The placement is kept under "Layout/Frame" of the user's settings.
//
// User-interface thread only.
#include <QMainWindow>
#include <array>
#include <functional>

class QAction;
class QLabel;
class QMenu;
class QStackedWidget;
class QToolBar;

namespace velk::shell {

class Page;
class NavigationBar;
class ProgressBar;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Pages in their fixed order; numbers 1..6 as the runner's show-page
    // message uses them.  The Summary page came later: number 7, shown as
    // the Results folder's third item.
    enum PageNumber {
        kRecorderPage = 1,
        kEditorPage = 2,
        kRunnerPage = 3,
        kReportPage = 4,
        kGraphsPage = 5,
        kBatchGraphsPage = 6,
        kSummaryPage = 7,
    };
    static constexpr int kPageCount = 7;
    enum Command {
        kNewScenario,
        kOpenScenario,
        kSaveScenario,
        kSaveScenarioAs,
        kOpenResults,
        kSaveResults,
        kExit,
        kSettings,
        kStartRecording,
        kStopRecording,
        kRunTest,
        kStopTest,
        kHelpContents,
        kWebSite,
        kFeedback,
        kAbout,
        kTipOfTheDay,
        kVerifyScenario,
        kExportHtmlReport,
        kExportJsonSummary,
        kImportHar,
        kCommandCount
    };
    // The navigation bar's folders.
    enum Group { kTestGroup = 0, kResultsGroup = 1 };

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    QAction* action(Command command) const { return m_actions[command]; }

    // Puts the page in slot number (1..6), replacing the empty page there; the
    // frame owns it.
    void installPage(int number, Page* page);
    Page* page(int number) const;
    int shownPage() const { return m_shownPage; }

    ProgressBar* progressBar() const { return m_progress; }
    NavigationBar* navigationBar() const { return m_outBar; }
    QToolBar* toolBar() const { return m_toolBar; }
    bool isRecording() const { return m_recording; }

    // Asked before the window closes (the document's save prompt); false keeps
    // it open.
    void setCloseGuard(std::function<bool()> guard) { m_closeGuard = std::move(guard); }

    // The recent-file entries of the File menu, newest first.
    void setRecentFiles(const QStringList& paths);

    // Restores the saved placement (or centres the window) and shows it in the
    // saved show state; a saved minimized state shows it normal.
    void showWithSavedPlacement();
    // Writes "CmdShow" and "WindowRect" under "Layout/Frame".
    void savePlacement() const;

public slots:
    // Shows page number (1..7); nothing happens when it is already shown.
    void showPage(int number);
    // Tells every page to drop what it shows (new and open document).
    void resetPages();
    // The recorder tells the frame whether it records.
    void setRecording(bool recording);
    // The run finished: unless it was stopped, the results are shown.
    void runFinished(bool stopped);
    // The navigation bar reports item of its open folder.
    void selectNavigationItem(int item);
    // The item of its folder that shows page number.
    static int itemOfPage(int number);

signals:
    void pageShown(int number);
    void recentFileRequested(const QString& path);
    // A results file given on the command line; the results' owner loads it.
    void openResultsFileRequested(const QString& path);
    // The window is about to close (the close guard agreed): a running test
    // is stopped on it, before anything the run calls into goes away.
    void closing();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createNavigationBar();
    void enterRecorder();

    std::array<QAction*, kCommandCount> m_actions{};
    std::array<Page*, 7> m_pages{};
    QStackedWidget* m_stack = nullptr;
    NavigationBar* m_outBar = nullptr;
    QToolBar* m_toolBar = nullptr;
    QLabel* m_readyPane = nullptr;
    ProgressBar* m_progress = nullptr;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentAnchor = nullptr;  // "Recent File" while the list is empty
    QList<QAction*> m_recentActions;
    std::function<bool()> m_closeGuard;
    int m_shownPage = 0;
    int m_group = kTestGroup;
    bool m_recording = false;
};

}  // namespace velk::shell
