#include "gui/shell/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>

#include "app/settings/global_settings.h"
#include "app/settings/settings_file.h"
#include "app/shell/recorder_choice.h"
#include "app/shell/window_placement.h"
#include "gui/shell/navigation_bar.h"
#include "gui/shell/page.h"
#include "gui/shell/progress_bar.h"
#include "gui/shell/recorder_prompt_dialog.h"
#include "gui/shell/shell_icons.h"
#include "gui/shell/user_settings.h"

namespace velk::shell {
namespace {

constexpr int kMinWidth = 765, kMinHeight = 550;
const QString kFrameGroup = QStringLiteral("Layout/Frame");

PlacementRect toPlacement(const QRect& r) {
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("VELK v2.0"));
    setMinimumSize(kMinWidth, kMinHeight);
    resize(kMinWidth, kMinHeight);
    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_outBar = new NavigationBar(central);
    m_stack = new QStackedWidget(central);
    layout->addWidget(m_outBar);
    layout->addWidget(m_stack, 1);
    setCentralWidget(central);
    for (int number = 1; number <= kPageCount; ++number) {
        m_pages[size_t(number - 1)] = new Page(m_stack);
        m_stack->addWidget(m_pages[size_t(number - 1)]);
    }
    createActions();
    createMenus();
    createToolBar();
    createNavigationBar();
    m_readyPane = new QLabel(QStringLiteral("Ready"), this);
    m_readyPane->setIndent(2);
    statusBar()->addWidget(m_readyPane, 1);
    m_progress = new ProgressBar(m_readyPane);
    connect(m_actions[kStopTest], &QAction::triggered, m_progress, &ProgressBar::reset);
}

MainWindow::~MainWindow() = default;

void MainWindow::createActions() {
    struct CommandText {
        const char* text;
        const char* button;  // the toolbar's text, or null
        const char* tip;     // the status bar's text
    };
    static const CommandText kCommands[kCommandCount] = {
        {"&New Scenario", "New", "Create a new scenario"},
        {"&Open Scenario...", "Open", "Open an existing scenario"},
        {"&Save Scenario", "Save", "Save the scenario"},
        {"Save Scenario &As...", nullptr, "Save the scenario with a new name"},
        {"O&pen Results...", "Open Results", "Open a results file"},
        {"Save &Results...", "Save Results", "Save the results of the runs"},
        {"E&xit", nullptr, "Quit the program; prompts to save the scenario"},
        {"&Settings...", nullptr, "Show global settings"},
        {"Start &Recording", "Start Rec", "Record the requests of the browser"},
        {"&Stop Recording", "Stop Rec", "Stop recording"},
        {"R&un Test", "Run Test", "Run the load test"},
        {"S&top Test", "Stop Test", "Stop the running test"},
        {"&Contents", "Help", "Show the help's table of contents"},
        {"&VELK on the Web...", nullptr, "Open the VELK web site"},
        {"Send &Feedback...", nullptr, "Write a mail to the VELK support team"},
        {"&About VELK...", nullptr, "Show the program's version"},
        {"Ti&p of the Day...", nullptr, "Show a tip of the day"},
        {"&Verify Scenario", nullptr,
         "Play the scenario once with one user and compare it with the recording"},
        {"&HTML Report...", nullptr,
         "Write the pass selected on the results page as a report to open in a browser"},
        {"&JSON Summary...", nullptr,
         "Write the figures of the pass selected on the results page as JSON"},
        {"Import &HAR...", nullptr,
         "Add the requests of a HAR file, saved by a browser's developer tools, to the "
         "scenario"}};
    for (int i = 0; i < kCommandCount; ++i) {
        auto* a = new QAction(QString::fromLatin1(kCommands[i].text), this);
        if (kCommands[i].button) a->setIconText(QString::fromLatin1(kCommands[i].button));
        a->setStatusTip(QString::fromLatin1(kCommands[i].tip));
        m_actions[size_t(i)] = a;
    }
    const std::pair<Command, ToolIcon> icons[] = {
        {kNewScenario, ToolIcon::kNew},         {kOpenScenario, ToolIcon::kOpen},
        {kSaveScenario, ToolIcon::kSave},       {kOpenResults, ToolIcon::kOpenResults},
        {kSaveResults, ToolIcon::kSaveResults}, {kStartRecording, ToolIcon::kStartRec},
        {kStopRecording, ToolIcon::kStopRec},   {kRunTest, ToolIcon::kRunTest},
        {kStopTest, ToolIcon::kStopTest},       {kHelpContents, ToolIcon::kHelp}};
    for (const auto& [command, icon] : icons) m_actions[command]->setIcon(toolIcon(icon));
    m_actions[kNewScenario]->setShortcut(QKeySequence(QStringLiteral("Ctrl+N")));
    m_actions[kOpenScenario]->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
    m_actions[kSaveScenario]->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
    m_actions[kHelpContents]->setShortcut(QKeySequence(QStringLiteral("F1")));
    // Nothing collected yet, nothing running: the owners enable these.
    m_actions[kSaveResults]->setEnabled(false);
    m_actions[kExportHtmlReport]->setEnabled(false);
    m_actions[kExportJsonSummary]->setEnabled(false);
    m_actions[kStopTest]->setEnabled(false);
    m_actions[kStopRecording]->setEnabled(false);
    connect(m_actions[kExit], &QAction::triggered, this, &QWidget::close);
}

void MainWindow::createMenus() {
    m_fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    for (Command c : {kNewScenario, kOpenScenario, kSaveScenario, kSaveScenarioAs, kImportHar})
        m_fileMenu->addAction(m_actions[c]);
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_actions[kOpenResults]);
    m_fileMenu->addAction(m_actions[kSaveResults]);
    QMenu* exportMenu = m_fileMenu->addMenu(QStringLiteral("&Export"));
    exportMenu->setObjectName(QStringLiteral("exportMenu"));
    exportMenu->addAction(m_actions[kExportHtmlReport]);
    exportMenu->addAction(m_actions[kExportJsonSummary]);
    m_fileMenu->addSeparator();
    m_recentAnchor = m_fileMenu->addAction(QStringLiteral("Recent File"));
    m_recentAnchor->setEnabled(false);
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_actions[kExit]);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    QMenu* test = menuBar()->addMenu(QStringLiteral("&Test"));
    for (Command c : {kStartRecording, kStopRecording}) test->addAction(m_actions[c]);
    test->addSeparator();
    for (Command c : {kVerifyScenario, kRunTest, kStopTest}) test->addAction(m_actions[c]);
    QMenu* tools = menuBar()->addMenu(QStringLiteral("T&ools"));
    tools->addAction(m_actions[kSettings]);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(m_actions[kTipOfTheDay]);
    help->addSeparator();
    help->addAction(m_actions[kHelpContents]);
    help->addSeparator();
    help->addAction(m_actions[kWebSite]);
    help->addAction(m_actions[kFeedback]);
    help->addSeparator();
    help->addAction(m_actions[kAbout]);

    // The toolbar exists by now only after createToolBar; the view toggles are
    // added there.
    view->setObjectName(QStringLiteral("viewMenu"));
}

void MainWindow::createToolBar() {
    m_toolBar = addToolBar(QStringLiteral("Toolbar"));
    m_toolBar->setObjectName(QStringLiteral("mainToolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setIconSize(QSize(20, 20));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    const Command order[] = {kNewScenario, kOpenScenario,   kSaveScenario,  kOpenResults,
                             kSaveResults, kStartRecording, kStopRecording, kRunTest,
                             kStopTest,    kHelpContents};
    for (Command c : order) {
        m_toolBar->addAction(m_actions[c]);
        if (c == kSaveScenario || c == kSaveResults || c == kStopRecording || c == kStopTest)
            m_toolBar->addSeparator();
    }
    QMenu* view = menuBar()->findChild<QMenu*>(QStringLiteral("viewMenu"));
    QAction* toolbarToggle = m_toolBar->toggleViewAction();
    toolbarToggle->setText(QStringLiteral("&Toolbar"));
    toolbarToggle->setStatusTip(QStringLiteral("Show or hide the toolbar"));
    view->addAction(toolbarToggle);
    QAction* statusToggle = view->addAction(QStringLiteral("&Status Bar"));
    statusToggle->setCheckable(true);
    statusToggle->setChecked(true);
    statusToggle->setStatusTip(QStringLiteral("Show or hide the status bar"));
    connect(statusToggle, &QAction::toggled, this,
            [this](bool on) { statusBar()->setVisible(on); });
}

void MainWindow::createNavigationBar() {
    std::vector<QPixmap> large, small;
    for (PageIcon icon : {PageIcon::kRecorder, PageIcon::kEditor, PageIcon::kRunner,
                          PageIcon::kReport, PageIcon::kGraphs, PageIcon::kBatchGraphs}) {
        large.push_back(pageIcon(icon, true));
        small.push_back(pageIcon(icon, false));
    }
    m_outBar->setImageLists(std::move(large), std::move(small));
    // Renaming changes only what the bar shows; removing would leave pages that
    // no item reaches, so it is not offered.
    m_outBar->setFlags(
        NavigationBar::kRemoveFolders | NavigationBar::kRemoveItems,
        NavigationBar::kAnimation | NavigationBar::kRenameFolders | NavigationBar::kRenameItems);
    m_outBar->setAnimationDelay(20);
    m_outBar->setRenameApproval([](bool, int, const QString&) { return true; });
    const int test = m_outBar->addFolder(QStringLiteral("Test"));
    const int results = m_outBar->addFolder(QStringLiteral("Results"));
    m_outBar->addItem(test, 0, QStringLiteral("Recorder"), 0);
    m_outBar->addItem(test, 1, QStringLiteral("Editor"), 1);
    m_outBar->addItem(test, 2, QStringLiteral("Runner"), 2);
    m_outBar->addItem(results, 0, QStringLiteral("Text Report"), 3);
    m_outBar->addItem(results, 1, QStringLiteral("Graphs"), 4);
    m_outBar->addItem(results, 2, QStringLiteral("Summary"), 3);
    m_outBar->addItem(results, 3, QStringLiteral("Batch Run Graphs"), 5);
    m_outBar->selectFolder(test);
    connect(m_outBar, &NavigationBar::folderChanged, this,
            [this](int folder) { m_group = folder; });
    connect(m_outBar, &NavigationBar::itemClicked, this, &MainWindow::selectNavigationItem);
}

void MainWindow::installPage(int number, Page* page) {
    if (number < 1 || number > kPageCount || !page) return;
    Page*& slot = m_pages[size_t(number - 1)];
    const int index = m_stack->indexOf(slot);
    const bool shown = m_stack->currentWidget() == slot;
    m_stack->insertWidget(index, page);
    m_stack->removeWidget(slot);
    delete slot;
    slot = page;
    if (shown) {
        m_stack->setCurrentWidget(page);
        page->activatePage();
    }
}

Page* MainWindow::page(int number) const {
    if (number < 1 || number > kPageCount) return nullptr;
    return m_pages[size_t(number - 1)];
}

void MainWindow::showPage(int number) {
    if (number < 1 || number > kPageCount || number == m_shownPage) return;
    const int group = number <= kRunnerPage ? kTestGroup : kResultsGroup;
    if (m_outBar->openFolder() != group) m_outBar->selectFolder(group);
    m_group = group;
    if (Page* old = page(m_shownPage)) old->deactivatePage();
    m_shownPage = number;
    Page* shown = page(number);
    m_stack->setCurrentWidget(shown);
    m_outBar->setSelectedItem(group, itemOfPage(number));
    shown->activatePage();
    emit pageShown(number);
}

void MainWindow::resetPages() {
    for (Page* page : m_pages) page->resetPage();
}

void MainWindow::setRecording(bool recording) {
    m_recording = recording;
}

void MainWindow::runFinished(bool stopped) {
    if (!stopped) {
        m_outBar->selectFolder(kResultsGroup);
        showPage(kReportPage);
    }
    m_progress->reset();
}

namespace {

// The Results folder's items in order: Text Report, Graphs, Summary, Batch
// Run Graphs.
constexpr int kResultsItemPages[] = {MainWindow::kReportPage, MainWindow::kGraphsPage,
                                     MainWindow::kSummaryPage, MainWindow::kBatchGraphsPage};

}  // namespace

int MainWindow::itemOfPage(int number) {
    if (number <= kRunnerPage) return number - 1;
    for (int item = 0; item < 4; ++item)
        if (kResultsItemPages[item] == number) return item;
    return 0;
}

void MainWindow::selectNavigationItem(int item) {
    // The bar's open folder, not the one last told: an item can be clicked
    // while the folder change is still sliding in.
    const int group = m_outBar->openFolder();
    if (item < 0 || item > (group == kTestGroup ? 2 : 3)) return;
    if (group == kTestGroup && item == 0) {
        enterRecorder();
        return;
    }
    showPage(group == kTestGroup ? item + 1 : kResultsItemPages[item]);
}

void MainWindow::enterRecorder() {
    using velk::settings::GlobalSettings;
    GlobalSettings& settings = GlobalSettings::shared();
    if (!m_recording) {
        GlobalSettings::Values values = settings.values();
        if (values.promptRecording && m_shownPage != kRecorderPage) {
            RecorderPromptDialog prompt(this);
            const bool yes = prompt.exec() == QDialog::Accepted;
            velk::settings::SettingsFile store;
            saveRecorderChoice(settings, store, !prompt.dontShowAgain(), yes);
        }
        if (settings.values().startRecording && m_actions[kStartRecording]->isEnabled())
            m_actions[kStartRecording]->trigger();
    }
    showPage(kRecorderPage);
}

void MainWindow::setRecentFiles(const QStringList& paths) {
    for (QAction* a : m_recentActions) {
        m_fileMenu->removeAction(a);
        a->deleteLater();
    }
    m_recentActions.clear();
    m_recentAnchor->setVisible(paths.isEmpty());
    for (int i = 0; i < paths.size(); ++i) {
        QString shown = paths[i];
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto* a = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(shown), this);
        a->setStatusTip(QStringLiteral("Open this scenario"));
        const QString path = paths[i];
        connect(a, &QAction::triggered, this, [this, path] { emit recentFileRequested(path); });
        m_fileMenu->insertAction(m_recentAnchor, a);
        m_recentActions.append(a);
    }
}

void MainWindow::showWithSavedPlacement() {
    const auto stored = openUserSettings();
    QSettings& settings = *stored;
    settings.beginGroup(kFrameGroup);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    PlacementRect rect = centred(toPlacement(work), kMinWidth, kMinHeight);
    bool ok = false;
    const int cmdShow = settings.value(QStringLiteral("CmdShow")).toInt(&ok);
    const ShowState state = ok ? restoredShowState(cmdShow) : kShowNormal;
    const auto saved =
        parseWindowRect(settings.value(QStringLiteral("WindowRect")).toString().toStdString());
    if (saved) {
        // The monitor the window was on, when it is still there.
        const QPoint centre((saved->left + saved->right) / 2, (saved->top + saved->bottom) / 2);
        const QScreen* on = QGuiApplication::screenAt(centre);
        const QRect area = on ? on->availableGeometry() : work;
        rect = fitOntoScreen(*saved, toPlacement(area), kMinWidth, kMinHeight);
    }
    setGeometry(rect.left, rect.top, rect.width(), rect.height());
    if (state == kShowMaximized)
        showMaximized();
    else
        showNormal();
}

void MainWindow::savePlacement() const {
    const auto stored = openUserSettings();
    QSettings& settings = *stored;
    settings.beginGroup(kFrameGroup);
    const ShowState state = isMaximized()   ? kShowMaximized
                            : isMinimized() ? kShowMinimized
                                            : kShowNormal;
    settings.setValue(QStringLiteral("CmdShow"), int(state));
    settings.setValue(QStringLiteral("WindowRect"),
                      QString::fromStdString(formatWindowRect(toPlacement(normalGeometry()))));
}

bool MainWindow::event(QEvent* event) {
    // A status tip would hide the progress bar's pane while the pointer rests
    // on a toolbar button; during a run the progress has the pane.
    if (event->type() == QEvent::StatusTip && m_progress->bar()->isVisible()) {
        statusBar()->clearMessage();
        return true;
    }
    return QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_closeGuard && !m_closeGuard()) {
        event->ignore();
        return;
    }
    emit closing();
    savePlacement();
    event->accept();
}

}  // namespace velk::shell
