#pragma once
// CMainFrame: the main window: six pages of which one is shown, the menus and
// toolbar with the program's commands, the status bar with its progress bar,
// and the navigation bar that selects the pages.
//
// Commands are QActions that the owners of the work connect to (the runner to
// Run Test and Stop Test, the recorder to the recording commands, the
// document's controller to New, Open and Save); the frame keeps only the
// enabling state it is told about.  User-interface thread only.
#include <QMainWindow>
#include <array>

class QAction;
class QStackedWidget;

namespace velk::shell {

class Page;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // Pages in their fixed order; numbers 1..6 as the runner's show-page
    // message uses them.
    enum PageNumber {
        kRecorderPage = 1,
        kEditorPage = 2,
        kRunnerPage = 3,
        kReportPage = 4,
        kGraphsPage = 5,
        kBatchGraphsPage = 6,
    };
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
        kCommandCount
    };

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    QAction* action(Command command) const { return m_actions[command]; }

    // Puts the page in slot number (1..6), replacing the empty page there; the
    // frame owns it.
    void installPage(int number, Page* page);
    Page* page(int number) const;
    int shownPage() const { return m_shownPage; }

public slots:
    // Shows page number (1..6); nothing happens when it is already shown.
    void showPage(int number);
    // Tells every page to drop what it shows (new and open document).
    void resetPages();

signals:
    void pageShown(int number);

private:
    void createActions();
    void createMenus();

    std::array<QAction*, kCommandCount> m_actions{};
    std::array<Page*, 6> m_pages{};
    QStackedWidget* m_stack = nullptr;
    int m_shownPage = 0;
};

}  // namespace velk::shell
