// The Settings dialog, the document's commands and the tip dialog, driven
// through their widgets.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/scenario/scenario_document.h"
#include "app/settings/global_settings.h"
#include "app/settings/settings_file.h"
#include "common/temp_dir.h"
#include "gui/shell/document_controller.h"
#include "gui/shell/help_commands.h"
#include "gui/shell/main_window.h"
#include "gui/shell/page.h"
#include "gui/shell/settings_dialog.h"
#include "gui/shell/tip_dialog.h"
#include "gui/shell/user_settings.h"
#include "modal_answer.h"

namespace velk::shell {
namespace {

using velk::settings::GlobalSettings;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(SettingsDialog, EnablingFollowsTheCheckBoxesAndTheType) {
    velk::test::TempDir dir;
    GlobalSettings settings;
    velk::settings::SettingsFile store(dir.file("VELK.conf"));
    SettingsDialog dialog(settings, store);
    EXPECT_FALSE(dialog.server()->isEnabled());
    EXPECT_FALSE(dialog.useAuth()->isEnabled());
    QTest::mouseClick(dialog.useProxy(), Qt::LeftButton);
    EXPECT_TRUE(dialog.server()->isEnabled());
    EXPECT_TRUE(dialog.port()->isEnabled());
    EXPECT_TRUE(dialog.useAuth()->isEnabled());
    EXPECT_FALSE(dialog.user()->isEnabled());
    dialog.useAuth()->setChecked(true);
    EXPECT_TRUE(dialog.password()->isEnabled());
    dialog.proxyType()->setCurrentIndex(2);  // SOCKS4
    EXPECT_FALSE(dialog.useAuth()->isEnabled());
    EXPECT_FALSE(dialog.user()->isEnabled());
    dialog.proxyType()->setCurrentIndex(3);
    EXPECT_TRUE(dialog.user()->isEnabled());
    EXPECT_EQ(dialog.timeout()->maximum(), 1000);
    EXPECT_EQ(dialog.timeout()->value(), 120);
}

TEST(SettingsDialog, OkRefusesEachMissingFieldWithItsMessageAndFocus) {
    velk::test::TempDir dir;
    GlobalSettings settings;
    velk::settings::SettingsFile store(dir.file("VELK.conf"));
    SettingsDialog dialog(settings, store);
    dialog.show();
    dialog.activateWindow();
    dialog.useProxy()->setChecked(true);
    dialog.useAuth()->setChecked(true);
    dialog.port()->clear();
    struct Step {
        QLineEdit* fill;  // filled before the next OK
        const char* text;
        QString message;
        QWidget* focus;
    };
    const Step steps[] = {
        {nullptr, "", "The server name cannot be empty.", dialog.server()},
        {dialog.server(), "proxy.lan", "The server port cannot be empty.", dialog.port()},
        {dialog.port(), "70000", "The user name cannot be empty.", dialog.user()},
        {dialog.user(), "me", "The password cannot be empty.", dialog.password()},
    };
    for (const Step& step : steps) {
        if (step.fill) step.fill->setText(step.text);
        QString shown;
        velk::test::answerMessageBox(QMessageBox::Ok, &shown);
        dialog.accept();
        EXPECT_EQ(shown, step.message);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.focusWidget(), step.focus) << step.message.toStdString();
        EXPECT_FALSE(settings.useProxy());  // nothing stored yet
    }
    dialog.password()->setText("pw");
    dialog.httpVersion()->setCurrentIndex(0);
    dialog.timeout()->setValue(30);
    dialog.accept();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings.proxyAddress(), "http://me:pw@proxy.lan:70000");
    EXPECT_EQ(settings.httpVersion(), 0);
    GlobalSettings loaded;
    velk::settings::SettingsFile again(dir.file("VELK.conf"));
    ASSERT_TRUE(loaded.load(again));
    EXPECT_EQ(loaded.timeout(), 30);
    EXPECT_EQ(loaded.proxyAddress(), "http://me:pw@proxy.lan:70000");
}

TEST(SettingsDialog, CancelChangesNothing) {
    velk::test::TempDir dir;
    GlobalSettings settings;
    velk::settings::SettingsFile store(dir.file("VELK.conf"));
    SettingsDialog dialog(settings, store);
    dialog.timeout()->setValue(5);
    dialog.startRecording()->setChecked(true);
    dialog.reject();
    EXPECT_EQ(settings.timeout(), 120);
    EXPECT_FALSE(settings.values().startRecording);
    EXPECT_FALSE(std::filesystem::exists(dir.file("VELK.conf")));
}

class DocumentTest : public testing::Test {
protected:
    void SetUp() override {
        openUserSettings()->clear();
        document.newDocument();
        controller.setFileDialogs([this] { return openName; },
                                  [this](const QString&) { return saveName; });
        QObject::connect(&controller, &DocumentController::documentReplaced,
                         [this] { ++replaced; });
    }
    QString path(const char* name) const { return QString::fromStdString(dir.file(name)); }

    velk::test::TempDir dir;
    velk::scenario::ScenarioDocument document;
    MainWindow frame;
    DocumentController controller{document, frame};
    QString openName, saveName;
    int replaced = 0;
};

TEST_F(DocumentTest, ModifiedDocumentIsOfferedForSavingBeforeItIsReplaced) {
    const std::string first = document.title();
    EXPECT_EQ(frame.windowTitle().toStdString(), first + "[*] - VELK v2.0");
    document.setModified(true);
    EXPECT_TRUE(frame.isWindowModified());

    // Cancel: nothing happens.
    QString asked;
    velk::test::answerMessageBox(QMessageBox::Cancel, &asked);
    frame.action(MainWindow::kNewScenario)->trigger();
    EXPECT_EQ(asked.toStdString(), "Save changes to " + first + "?");
    EXPECT_EQ(document.title(), first);
    EXPECT_EQ(replaced, 0);

    // Yes: saved under the name the dialog gives (".vts" added), then replaced.
    saveName = path("first");
    velk::test::answerMessageBox(QMessageBox::Yes);
    frame.action(MainWindow::kNewScenario)->trigger();
    EXPECT_TRUE(std::filesystem::exists(dir.file("first.vts")));
    EXPECT_NE(document.title(), first);
    EXPECT_FALSE(document.isModified());
    EXPECT_EQ(replaced, 1);
    EXPECT_EQ(frame.shownPage(), MainWindow::kRecorderPage);
    EXPECT_EQ(controller.recentFiles(), QStringList{path("first.vts")});

    // No: the changes are dropped and the file opens.
    document.setModified(true);
    velk::test::answerMessageBox(QMessageBox::No);
    openName = path("first.vts");
    frame.action(MainWindow::kOpenScenario)->trigger();
    EXPECT_EQ(document.title(), "first.vts");
    EXPECT_EQ(frame.shownPage(), MainWindow::kEditorPage);
    EXPECT_EQ(replaced, 2);

    // Closing the window asks too.
    document.setModified(true);
    frame.show();
    velk::test::answerMessageBox(QMessageBox::Cancel);
    EXPECT_FALSE(frame.close());
    EXPECT_TRUE(frame.isVisible());
    velk::test::answerMessageBox(QMessageBox::No);
    EXPECT_TRUE(frame.close());
}

TEST_F(DocumentTest, RecentFilesKeepSevenNewestFirstAndSurviveTheProgram) {
    QStringList saved;
    for (int i = 1; i <= 8; ++i) {
        saveName = path(("s" + std::to_string(i) + ".vts").c_str());
        ASSERT_TRUE(controller.saveAs());
        saved.prepend(saveName);
    }
    saved.removeLast();
    EXPECT_EQ(controller.recentFiles(), saved);
    // The File menu lists them with their numbers.
    int listed = 0;
    for (QAction* a : frame.menuBar()->actions().front()->menu()->actions())
        if (a->text().startsWith("&1 ")) {
            ++listed;
            EXPECT_EQ(a->text(), "&1 " + saved[0]);
        }
    EXPECT_EQ(listed, 1);
    MainWindow otherFrame;
    velk::scenario::ScenarioDocument otherDocument;
    DocumentController other(otherDocument, otherFrame);
    EXPECT_EQ(other.recentFiles(), saved);

    // A recent file that went away is dropped after its message.
    std::filesystem::remove(dir.file("s8.vts"));
    QString message;
    velk::test::answerMessageBox(QMessageBox::Ok, &message);
    emit frame.recentFileRequested(saved[0]);
    EXPECT_TRUE(message.startsWith("Failed to open document.")) << message.toStdString();
    EXPECT_FALSE(controller.recentFiles().contains(saved[0]));
    EXPECT_EQ(document.title(), "s8.vts");  // the document stays as it was
}

TEST_F(DocumentTest, FailedSaveKeepsTheOldFileAndTheDocumentModified) {
    saveName = path("keep.vts");
    ASSERT_TRUE(controller.saveAs());
    const std::string before = readAll(dir.file("keep.vts"));
    document.scenario().run().description = std::string(10000, 'x');
    document.setModified(true);
    QString message;
    velk::test::answerMessageBox(QMessageBox::Ok, &message);
    bool saved = true;
    {
        struct rlimit old {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = old;
        small.rlim_cur = before.size() + 100;
        ::setrlimit(RLIMIT_FSIZE, &small);
        saved = controller.save();
        ::setrlimit(RLIMIT_FSIZE, &old);
    }
    EXPECT_FALSE(saved);
    EXPECT_TRUE(message.startsWith("Failed to save document.")) << message.toStdString();
    EXPECT_EQ(readAll(dir.file("keep.vts")), before);
    EXPECT_TRUE(document.isModified());
    EXPECT_TRUE(frame.isWindowModified());
}

// A page that counts how often it is told to read the document.
class ReadingPage : public Page {
public:
    int reads = 0, resets = 0;
    void activatePage() override { ++reads; }
    void resetPage() override { ++resets; }
};

TEST_F(DocumentTest, ShownPageReadsEveryNewDocument) {
    auto* editor = new ReadingPage;
    frame.installPage(MainWindow::kEditorPage, editor);
    saveName = path("a.vts");
    ASSERT_TRUE(controller.saveAs());
    for (int i = 1; i <= 2; ++i) {
        ASSERT_TRUE(controller.openDocument(path("a.vts")));
        EXPECT_EQ(frame.shownPage(), MainWindow::kEditorPage);
        EXPECT_EQ(editor->resets, i);
        EXPECT_EQ(editor->reads, i);  // shown already the second time, read all the same
    }
}

TEST_F(DocumentTest, DirectoryIsRefusedWithAMessage) {
    std::filesystem::create_directory(dir.file("folder.vts"));
    const std::string title = document.title();
    QString message;
    velk::test::answerMessageBox(QMessageBox::Ok, &message);
    EXPECT_FALSE(controller.openDocument(path("folder.vts")));
    EXPECT_TRUE(message.contains("is not a file")) << message.toStdString();
    EXPECT_EQ(document.title(), title);
    EXPECT_EQ(replaced, 0);
}

TEST(TipDialog, ShowsTipsRemembersWhereItWasAndTheStartUpChoice) {
    openUserSettings()->clear();
    velk::test::TempDir dir;
    const QString tips = QString::fromStdString(dir.write("Tips.txt", ";c\nOne.\nTwo.\n"));
    EXPECT_TRUE(TipDialog::showAtStartUp());
    {
        TipDialog dialog(tips);
        EXPECT_EQ(dialog.tipText(), "One.");
        QTest::mouseClick(dialog.nextButton(), Qt::LeftButton);
        EXPECT_EQ(dialog.tipText(), "Two.");
        EXPECT_TRUE(dialog.startUpCheck()->isChecked());
        dialog.startUpCheck()->setChecked(false);
        dialog.reject();
    }
    EXPECT_FALSE(TipDialog::showAtStartUp());
    {
        TipDialog dialog(tips);
        EXPECT_EQ(dialog.tipText(), "One.");  // after "Two." comes the start again
        EXPECT_FALSE(dialog.startUpCheck()->isChecked());
    }
    TipDialog missing(QString::fromStdString(dir.file("none.txt")));
    EXPECT_EQ(missing.tipText(), "Tips file does not exist in the prescribed directory");
    EXPECT_FALSE(missing.nextButton()->isEnabled());
}

TEST(HelpLinks, FeedbackAndCrashMailsCarryTheirFixedParts) {
    const QUrl feedback = feedbackMailUrl("support@example.org", "Linux 6.1 (Debian 12)");
    EXPECT_EQ(feedback.scheme(), "mailto");
    EXPECT_EQ(
        feedback.toString(QUrl::FullyEncoded).toStdString(),
        "mailto:support@example.org?subject=VELK%202.0%20Feedback&body=Dec%2027%202002%0D%0AOS:"
        "%20Linux%206.1%20(Debian%2012)%0D%0A%0D%0A");
    const QUrl crash = crashReportMailUrl("s@e.org", "/home/u/CrashReport.txt");
    EXPECT_TRUE(crash.toString().contains("subject=VELK 2.0 Crash Report"));
    EXPECT_TRUE(crash.toString(QUrl::FullyEncoded).contains("%0D%0A/home/u/CrashReport.txt%0D%0A"))
        << crash.toString(QUrl::FullyEncoded).toStdString();
}

}  // namespace
}  // namespace velk::shell
