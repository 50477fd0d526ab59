// A scenario made through the editor page alone is saved, opened again, turned
// into a script, and run by the engine against the demo site in this process.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>

#include "app/scenario/scenario_checks.h"
#include "common/message_capture.h"
#include "common/status_assert.h"
#include "common/temp_dir.h"
#include "demo_server.h"
#include "gui/editor/param_dialog.h"
#include "gui/editor/request_options_panel.h"
#include "page_fixture.h"
#include "velkcore.h"

namespace velk::editor::test {
namespace {

using velk::scenario::CReqParamFunction;

TEST_F(EditorPageTest, EditedScenarioIsSavedReloadedAndRunsAgainstTheDemoSite) {
    velk::demo::DemoServer site;
    site.start(0);
    const QString server = QStringLiteral("127.0.0.1:%1").arg(site.port());
    RequestOptionsPanel* form = m_view->requestOptions();

    addRequest("home");
    retype(form->serverField(), server);
    addRequest("search");
    retype(form->serverField(), server);
    retype(form->uriList(), "search");
    // q: one of two colours, typed one per line.
    form->setDialogRunner([](ParamDialog& dialog) {
        dialog.show();
        QTest::keyClicks(dialog.nameField(), "q");
        dialog.functionList()->setCurrentRow(CReqParamFunction::kRandomFromList);
        QTest::keyClicks(dialog.listField(), "red");
        QTest::keyClick(dialog.listField(), Qt::Key_Return);
        QTest::keyClicks(dialog.listField(), "green");
        return int(QDialog::Accepted);
    });
    click(form->addParameterButton());
    m_view->deactivatePage();

    velk::test::TempDir dir;
    velk::scenario::CRunSection& run = m_document.scenario().run();
    run.clients = 2;
    run.requestsPerUser = 2;
    run.useStartDelay = false;
    run.useReportDirectory = true;
    run.reportDirectory = dir.path().string();
    ASSERT_TRUE(velk::test::isOk(m_document.saveAs(dir.file("edited.vts"))));

    velk::scenario::ScenarioDocument reloaded;
    reloaded.newDocument();
    ASSERT_TRUE(velk::test::isOk(reloaded.open(dir.file("edited.vts"))));
    ASSERT_TRUE(velk::test::isOk(velk::scenario::checkScenarioForRun(reloaded.scenario())));
    const velk::StatusOr<std::string> generated =
        reloaded.scenario().generateScript(velk::settings::GlobalSettings());
    ASSERT_TRUE(velk::test::isOk(generated));
    const std::string& script = *generated;
    EXPECT_NE(script.find("\r\n[search]\r\n$method=GET\r\n$server=127.0.0.1\r\n"),
              std::string::npos)
        << script;
    EXPECT_NE(script.find("\r\n$uri=/search\r\n"), std::string::npos) << script;
    EXPECT_NE(script.find("\r\nq=$LRand(red,green)\r\n"), std::string::npos) << script;

    velk::test::MessageCapture messages;
    InitKS(0, 0);
    SetOutFunc(&messages, &velk::test::MessageCapture::sink);
    TestSet* set = CreateTestSet();
    ASSERT_EQ(ParseTest(set, "edited", script.c_str()), 1) << messages.last();
    EXPECT_EQ(RunTest(set), 1) << messages.last();
    std::string report;
    VelkSummary summary{};
    SaveResults(
        set, &report,
        [](void* sink, const char* text) { *static_cast<std::string*>(sink) += text; }, &summary);
    FreeTestSet(set);
    SetOutFunc(nullptr, nullptr);
    CleanupKS();
    site.stop();
    EXPECT_EQ(summary.totalRequests, 2 * 2 * 2) << report;
    EXPECT_EQ(summary.totalErrors, 0) << report;
}

}  // namespace
}  // namespace velk::editor::test
