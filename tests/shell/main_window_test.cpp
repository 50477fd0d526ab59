// The main window driven through its widgets: page switching and the
// navigation bar's folder rules, the recorder item with its prompt and
// settings, the progress bar, and the saved placement.
#include "gui/shell/main_window.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include "app/settings/global_settings.h"
#include "app/shell/label_contrast.h"
#include "gui/shell/navigation_bar.h"
#include "gui/shell/page.h"
#include "gui/shell/progress_bar.h"
#include "gui/shell/recorder_prompt_dialog.h"
#include "gui/shell/user_settings.h"
#include "modal_answer.h"

namespace velk::shell {
namespace {

using velk::settings::GlobalSettings;

// A page that counts what the frame tells it.
class CountingPage : public Page {
public:
    int activated = 0, deactivated = 0, reset = 0;
    void activatePage() override { ++activated; }
    void deactivatePage() override { ++deactivated; }
    void resetPage() override { ++reset; }
};

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        openUserSettings()->clear();
        GlobalSettings::shared().setValues({});
        frame.show();
        frame.showPage(MainWindow::kEditorPage);
        bar = frame.navigationBar();
        bar->setAnimationDelay(0);
    }
    void clickItem(int item) {
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->itemRect(item).center());
    }
    void clickFolder(int folder) {
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->folderRect(folder).center());
    }

    MainWindow frame;
    NavigationBar* bar = nullptr;
};

TEST_F(MainWindowTest, ItemsShowTheirPagesAndTheFolderFollowsThePage) {
    auto* report = new CountingPage;
    frame.installPage(MainWindow::kReportPage, report);
    clickFolder(MainWindow::kResultsGroup);
    // A folder click only opens the folder.
    EXPECT_EQ(bar->openFolder(), 1);
    EXPECT_EQ(frame.shownPage(), MainWindow::kEditorPage);
    const struct {
        int item, page;
    } results[] = {{1, MainWindow::kGraphsPage},
                   {3, MainWindow::kBatchGraphsPage},
                   {2, MainWindow::kSummaryPage},
                   {0, MainWindow::kReportPage}};
    for (const auto& c : results) {
        clickItem(c.item);
        EXPECT_EQ(frame.shownPage(), c.page);
    }
    EXPECT_EQ(report->activated, 1);
    clickFolder(MainWindow::kTestGroup);
    clickItem(2);
    EXPECT_EQ(frame.shownPage(), MainWindow::kRunnerPage);
    EXPECT_EQ(report->deactivated, 1);
    // Showing a page from elsewhere moves the bar to its folder.
    frame.showPage(MainWindow::kGraphsPage);
    EXPECT_EQ(bar->openFolder(), 1);
    clickItem(0);
    EXPECT_EQ(frame.shownPage(), MainWindow::kReportPage);
    frame.showPage(MainWindow::kEditorPage);
    EXPECT_EQ(bar->openFolder(), 0);
    // The same page again changes nothing.
    frame.showPage(MainWindow::kEditorPage);
    EXPECT_EQ(report->deactivated, 2);
    frame.resetPages();
    EXPECT_EQ(report->reset, 1);
    // The run finished: the results are shown unless it was stopped.
    frame.runFinished(true);
    EXPECT_EQ(frame.shownPage(), MainWindow::kEditorPage);
    frame.runFinished(false);
    EXPECT_EQ(frame.shownPage(), MainWindow::kReportPage);
    EXPECT_EQ(bar->openFolder(), 1);
}

TEST_F(MainWindowTest, KeyboardReachesItemsAndFolders) {
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_Down);
    QTest::keyClick(bar, Qt::Key_Down);
    QTest::keyClick(bar, Qt::Key_Return);
    EXPECT_EQ(frame.shownPage(), MainWindow::kRunnerPage);
    QTest::keyClick(bar, Qt::Key_PageDown);
    EXPECT_EQ(bar->openFolder(), 1);
    QTest::keyClick(bar, Qt::Key_Space);
    EXPECT_EQ(frame.shownPage(), MainWindow::kReportPage);
}

TEST_F(MainWindowTest, AssistiveToolsSeeFoldersAndItemsAndCanPressThem) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(bar);
    ASSERT_NE(iface, nullptr);
    ASSERT_EQ(iface->childCount(), 5);
    QStringList names;
    for (int i = 0; i < iface->childCount(); ++i) names << iface->child(i)->text(QAccessible::Name);
    EXPECT_EQ(names, (QStringList{"Test", "Results", "Recorder", "Editor", "Runner"}));
    EXPECT_EQ(iface->child(1)->role(), QAccessible::PushButton);
    EXPECT_EQ(iface->child(3)->role(), QAccessible::ListItem);
    const QRect runner = iface->child(4)->rect();
    EXPECT_EQ(iface->childAt(runner.center().x(), runner.center().y()), iface->child(4));
    iface->child(4)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(frame.shownPage(), MainWindow::kRunnerPage);
    iface->child(1)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(bar->openFolder(), 1);
    EXPECT_EQ(iface->child(3)->text(QAccessible::Name), "Graphs");
    iface->child(3)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(frame.shownPage(), MainWindow::kGraphsPage);
}

TEST_F(MainWindowTest, ContextMenuOffersIconSizesAndRenameWithItsOwnTexts) {
    QStringList texts;
    QTimer::singleShot(50, [&texts] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* a : menu->actions())
                if (!a->isSeparator()) texts << a->text();
            menu->close();
        }
    });
    const QPoint at = bar->itemRect(1).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, bar->mapToGlobal(at));
    QApplication::sendEvent(bar, &event);
    EXPECT_EQ(texts, (QStringList{"Icone piccole", "Icone grando", "Rinomina"}));

    bar->setLargeIcons(false);
    clickItem(2);
    EXPECT_EQ(frame.shownPage(), MainWindow::kRunnerPage);
    EXPECT_EQ(bar->openFolder(), 0);
    bar->setLargeIcons(true);
}

TEST_F(MainWindowTest, RenameEndsWithEnterAndEscapeCancels) {
    for (bool accept : {false, true}) {
        bar->beginRename(false, 1);
        QLineEdit* edit = bar->renameEditor();
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), "Editor");
        edit->selectAll();
        QTest::keyClicks(edit, "Scenario editor");
        QTest::keyClick(edit, accept ? Qt::Key_Return : Qt::Key_Escape);
        EXPECT_EQ(bar->renameEditor(), nullptr);
        EXPECT_EQ(bar->model().folder(0).items[1].label, accept ? "Scenario editor" : "Editor");
    }
    bar->beginRename(true, 1);
    ASSERT_NE(bar->renameEditor(), nullptr);
    EXPECT_EQ(bar->renameEditor()->geometry(), bar->folderRect(1).adjusted(2, 2, -2, -2));
    QTest::keyClick(bar->renameEditor(), Qt::Key_Escape);
    EXPECT_EQ(bar->model().folder(1).name, "Results");
}

TEST_F(MainWindowTest, FolderChangeIsAnimatedInStepsAndToldWhenItEnds) {
    bar->setAnimationDelay(20);
    QSignalSpy told(bar, &NavigationBar::folderChanged);
    clickFolder(1);
    EXPECT_EQ(bar->openFolder(), 1);  // the bar's state at once; the picture follows
    EXPECT_TRUE(bar->isAnimating());
    EXPECT_EQ(told.count(), 0);
    // An item clicked while the folder slides in belongs to the new folder.
    clickItem(1);
    EXPECT_EQ(frame.shownPage(), MainWindow::kGraphsPage);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !bar->isAnimating(); }, 10000));
    ASSERT_EQ(told.count(), 1);
    EXPECT_EQ(told.at(0).at(0).toInt(), 1);
}

// The labels of the navigation bar's items, in both the normal state and on
// the plate of the shown page, as drawn: the pixel that stands out most from
// the label's background reaches 4.5:1, under a palette whose mid tone is the
// usual light grey and under one where it is dark.
TEST_F(MainWindowTest, ItemLabelsReadWellInTheNormalAndTheSelectedState) {
    const auto rgb = [](QRgb c) { return Rgb{qRed(c), qGreen(c), qBlue(c)}; };
    const auto bestContrast = [&](const QImage& image, const QRect& label) {
        const Rgb background = rgb(image.pixel(label.topLeft() + QPoint(1, 1)));
        double best = 1;
        for (int y = label.top(); y <= label.bottom(); ++y)
            for (int x = label.left(); x <= label.right(); ++x)
                best = std::max(best, contrastRatio(background, rgb(image.pixel(x, y))));
        return best;
    };
    QPalette light = bar->palette(), dark = bar->palette();
    light.setColor(QPalette::Mid, QColor(192, 192, 192));  // the system's light grey
    dark.setColor(QPalette::Mid, QColor(60, 60, 70));
    for (const QPalette& palette : {light, dark}) {
        bar->setPalette(palette);
        frame.showPage(MainWindow::kEditorPage);  // item 1 selected, items 0 and 2 not
        const QImage image = bar->grab().toImage();
        const int line = bar->fontMetrics().height();
        for (int item : {0, 1}) {
            const NavigationBarRect r =
                bar->model().labelRect(item, bar->width(), bar->height(), line);
            const QRect label(r.left, r.top, r.width(), r.height());
            EXPECT_GE(bestContrast(image, label), 4.5) << "item " << item;
        }
    }
}

int recorderSetting(const char* name) {
    return openUserSettings()->value(QStringLiteral("Settings/") + name, -1).toInt();
}

TEST_F(MainWindowTest, RecorderItemAsksOnceAndStartsRecordingAsAnswered) {
    int starts = 0;
    QObject::connect(frame.action(MainWindow::kStartRecording), &QAction::triggered,
                     [&starts] { ++starts; });
    struct Case {
        bool yes, dontShow;
    };
    for (const Case c : {Case{false, false}, Case{true, true}}) {
        frame.showPage(MainWindow::kEditorPage);
        bool asked = false;
        velk::test::answerNextModal([&](QWidget* modal) {
            auto* prompt = qobject_cast<RecorderPromptDialog*>(modal);
            if (!prompt) return;
            asked = true;
            EXPECT_EQ(prompt->windowTitle(), "Recorder Prompt");
            prompt->dontShowCheck()->setChecked(c.dontShow);
            c.yes ? prompt->accept() : prompt->reject();
        });
        clickItem(0);
        EXPECT_TRUE(asked);
        EXPECT_EQ(frame.shownPage(), MainWindow::kRecorderPage);
        EXPECT_EQ(recorderSetting("StartRecording"), c.yes ? 1 : 0);
        EXPECT_EQ(recorderSetting("PromptRecording"), c.dontShow ? 0 : 1);
        EXPECT_EQ(GlobalSettings::shared().values().startRecording, c.yes);
    }
    EXPECT_EQ(starts, 1);
    // No more questions; recording starts on every entry.
    frame.showPage(MainWindow::kRunnerPage);
    clickItem(0);
    EXPECT_EQ(starts, 2);
    // While recording, entering the recorder starts nothing.
    frame.showPage(MainWindow::kRunnerPage);
    frame.setRecording(true);
    clickItem(0);
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(frame.shownPage(), MainWindow::kRecorderPage);
}

TEST_F(MainWindowTest, RecorderPageAlreadyShownIsNotAskedAbout) {
    frame.showPage(MainWindow::kRecorderPage);
    clickItem(0);  // a prompt here would block the test until its time-out
    EXPECT_EQ(frame.shownPage(), MainWindow::kRecorderPage);
    EXPECT_EQ(recorderSetting("PromptRecording"), -1);
}

TEST_F(MainWindowTest, ProgressBarLiesAfterItsLabelAndResetsToReady) {
    ProgressBar* progress = frame.progressBar();
    QProgressBar* widget = progress->bar();
    auto* pane = qobject_cast<QLabel*>(widget->parentWidget());
    ASSERT_NE(pane, nullptr);
    EXPECT_FALSE(widget->isVisible());
    EXPECT_EQ(pane->text(), "Ready");
    progress->setRange(10);
    progress->setPos(4);
    EXPECT_TRUE(widget->isVisible());
    EXPECT_EQ(widget->value(), 4);
    const QRect content = pane->contentsRect();
    const int trim = content.height() / 10;
    EXPECT_EQ(widget->x(), content.left());
    EXPECT_EQ(widget->y(), content.top() + trim);
    EXPECT_EQ(widget->height(), content.height() - 2 * trim);
    EXPECT_NEAR(widget->width(), content.width() * 0.4, 1.0);

    progress->setLabel("Pass 2 of 5");
    const QFontMetrics fm = pane->fontMetrics();
    const int start =
        content.left() + fm.horizontalAdvance("Pass 2 of 5") + fm.horizontalAdvance("    ");
    EXPECT_EQ(pane->text(), "Pass 2 of 5");
    EXPECT_EQ(widget->x(), start);
    EXPECT_NEAR(widget->width(), (content.right() + 1 - start) * 0.4, 1.0);
    // The layout follows the pane's size.
    frame.resize(frame.width() + 200, frame.height());
    QApplication::processEvents();
    EXPECT_NEAR(widget->width(), (pane->contentsRect().right() + 1 - start) * 0.4, 1.0);

    frame.action(MainWindow::kStopTest)->setEnabled(true);
    frame.action(MainWindow::kStopTest)->trigger();
    EXPECT_FALSE(widget->isVisible());
    EXPECT_EQ(pane->text(), "Ready");
    progress->setProgress(3, 1, "Run");
    EXPECT_EQ(widget->maximum(), 3);
    frame.runFinished(true);
    EXPECT_FALSE(widget->isVisible());
}

TEST(MainWindowPlacement, SavedPlacementComesBackAndMinimizedComesBackNormal) {
    openUserSettings()->clear();
    QRect saved;
    {
        MainWindow frame;
        frame.showWithSavedPlacement();
        frame.setGeometry(30, 40, 780, 560);
        saved = frame.geometry();
        frame.close();  // saves on close
    }
    {
        const auto settings = openUserSettings();
        EXPECT_EQ(settings->value("Layout/Frame/CmdShow").toInt(), 1);
        EXPECT_EQ(settings->value("Layout/Frame/WindowRect").toString(), "30,40,810,600");
    }
    {
        MainWindow frame;
        frame.showWithSavedPlacement();
        EXPECT_EQ(frame.geometry(), saved);
    }
    {
        const auto settings = openUserSettings();
        settings->setValue("Layout/Frame/CmdShow", 2);
        settings->setValue("Layout/Frame/WindowRect", "9000,9000,9780,9560");
    }
    MainWindow frame;
    frame.showWithSavedPlacement();
    EXPECT_FALSE(frame.isMinimized());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.intersects(frame.geometry())) << frame.geometry().x();
    EXPECT_EQ(frame.width(), 780);
    frame.setCloseGuard([] { return false; });
    EXPECT_FALSE(frame.close());
    EXPECT_TRUE(frame.isVisible());
    frame.setCloseGuard({});
}

TEST(MainWindowLook, ToolbarAndMenusCarryTheCommands) {
    MainWindow frame;
    QStringList buttons;
    int separators = 0;
    for (QAction* a : frame.toolBar()->actions()) {
        if (a->isSeparator())
            ++separators;
        else
            buttons << a->iconText();
    }
    EXPECT_EQ(buttons, (QStringList{"New", "Open", "Save", "Open Results", "Save Results",
                                    "Start Rec", "Stop Rec", "Run Test", "Stop Test", "Help"}));
    EXPECT_EQ(separators, 4);
    EXPECT_EQ(frame.action(MainWindow::kNewScenario)->shortcut(), QKeySequence("Ctrl+N"));
    EXPECT_FALSE(frame.action(MainWindow::kSaveResults)->isEnabled());
    EXPECT_EQ(frame.windowTitle(), "VELK v2.0");
    EXPECT_EQ(frame.minimumSize(), QSize(765, 550));
}

}  // namespace
}  // namespace velk::shell
