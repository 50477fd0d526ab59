#include "main_frame.h"

#include <QAction>
#include <QMenuBar>
#include <QStackedWidget>
#include <QStatusBar>

#include "page.h"

namespace velk::shell {

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("VELK v2.0"));
    setMinimumSize(765, 550);
    resize(765, 550);
    m_stack = new QStackedWidget(this);
    setCentralWidget(m_stack);
    for (int number = 1; number <= 6; ++number) {
        m_pages[size_t(number - 1)] = new Page(m_stack);
        m_stack->addWidget(m_pages[size_t(number - 1)]);
    }
    createActions();
    createMenus();
    statusBar()->showMessage(tr("Ready"));
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::createActions() {
    static const char* const kTexts[kCommandCount] = {"&New Scenario",
                                                      "&Open Scenario...",
                                                      "&Save Scenario",
                                                      "Save Scenario &As...",
                                                      "O&pen Results...",
                                                      "Save &Results...",
                                                      "E&xit",
                                                      "&Settings...",
                                                      "Start &Recording",
                                                      "&Stop Recording",
                                                      "R&un Test",
                                                      "S&top Test",
                                                      "&Contents",
                                                      "&VELK on the Web...",
                                                      "Send &Feedback...",
                                                      "&About VELK...",
                                                      "Ti&p of the Day..."};
    for (int i = 0; i < kCommandCount; ++i)
        m_actions[size_t(i)] = new QAction(QString::fromLatin1(kTexts[i]), this);
    m_actions[kNewScenario]->setShortcut(QKeySequence(QStringLiteral("Ctrl+N")));
    m_actions[kOpenScenario]->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
    m_actions[kSaveScenario]->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
    connect(m_actions[kExit], &QAction::triggered, this, &QWidget::close);
}

void CMainFrame::createMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    for (Command c : {kNewScenario, kOpenScenario, kSaveScenario, kSaveScenarioAs})
        file->addAction(m_actions[c]);
    file->addSeparator();
    file->addAction(m_actions[kOpenResults]);
    file->addAction(m_actions[kSaveResults]);
    file->addSeparator();
    file->addAction(m_actions[kExit]);
    QMenu* test = menuBar()->addMenu(QStringLiteral("&Test"));
    for (Command c : {kStartRecording, kStopRecording, kRunTest, kStopTest})
        test->addAction(m_actions[c]);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    for (Command c : {kHelpContents, kWebSite, kFeedback, kAbout}) help->addAction(m_actions[c]);
}

void CMainFrame::installPage(int number, Page* page) {
    if (number < 1 || number > 6 || !page) return;
    Page*& slot = m_pages[size_t(number - 1)];
    const int index = m_stack->indexOf(slot);
    m_stack->insertWidget(index, page);
    m_stack->removeWidget(slot);
    delete slot;
    slot = page;
}

Page* CMainFrame::page(int number) const {
    if (number < 1 || number > 6) return nullptr;
    return m_pages[size_t(number - 1)];
}

void CMainFrame::showPage(int number) {
    if (number < 1 || number > 6 || number == m_shownPage) return;
    if (Page* old = page(m_shownPage)) old->deactivatePage();
    m_shownPage = number;
    Page* shown = page(number);
    m_stack->setCurrentWidget(shown);
    shown->activatePage();
    emit pageShown(number);
}

void CMainFrame::resetPages() {
    for (Page* page : m_pages) page->resetPage();
}

}  // namespace velk::shell
