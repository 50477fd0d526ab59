// The parameter dialog's faults that broke replays, each through the real
// widgets and then a real run against a loopback server: a Static text with a
// comma edited, a parameter added by hand, and a kind tried and taken back.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "common/message_capture.h"
#include "common/status_assert.h"
#include "gui/editor/param_dialog.h"
#include "gui/editor/request_options_panel.h"
#include "page_fixture.h"
#include "support/test_http_server.h"
#include "velkcore.h"

namespace velk::editor::test {
namespace {

using velk::scenario::CReqParam;
using velk::scenario::CReqParamFunction;

class ParamFaults : public EditorPageTest {
protected:
    void SetUp() override {
        EditorPageTest::SetUp();
        m_server.setHandler([](const velk::test::ReceivedRequest&, velk::test::Responder& r) {
            r.respond(200, "<html><title>ok</title></html>");
        });
    }

    int32_t searchRequest() {
        const int32_t id = addRequest("search");
        retype(m_view->requestOptions()->serverField(),
               QStringLiteral("127.0.0.1:%1").arg(m_server.port()));
        retype(m_view->requestOptions()->uriList(), "search");
        return id;
    }

    // A recorded parameter: one Static text stored as the recorder stores it.
    void addRecorded(int32_t id, const char* name, const char* value) {
        std::lock_guard<velk::scenario::CRequestsContainer> g(m_document.scenario().requests());
        auto p = std::make_unique<CReqParam>();
        p->setNameAndEncode(name, true);
        auto f = std::make_unique<CReqParamFunction>();
        f->makeLiteral(value);
        p->insert(-1, std::move(f));
        request(id).insertParam(-1, std::move(p));
    }

    // The request target the server received from one user's one run.
    std::string runOnce() {
        m_view->deactivatePage();
        const StatusOr<std::string> made =
            m_document.scenario().generateScript(velk::settings::GlobalSettings());
        EXPECT_TRUE(velk::test::isOk(made));
        const std::string script = made ? *made : std::string();
        velk::test::MessageCapture messages;
        InitKS(0, 0);
        SetOutFunc(&messages, &velk::test::MessageCapture::sink);
        TestSet* set = CreateTestSet();
        EXPECT_EQ(ParseTest(set, "faults", script.c_str()), 1) << messages.last();
        ParseGeneralParam(set, "clients", "1");
        ParseGeneralParam(set, "requests", "1");
        EXPECT_EQ(RunTest(set), 1);
        FreeTestSet(set);
        SetOutFunc(nullptr, nullptr);
        CleanupKS();
        const auto received = m_server.requests();
        return received.empty() ? std::string() : received.back().target;
    }

    void editFirstParameter(const std::function<void(ParamDialog&)>& act) {
        RequestOptionsPanel* form = m_view->requestOptions();
        form->setDialogRunner([&](ParamDialog& dialog) {
            dialog.show();
            act(dialog);
            return int(QDialog::Accepted);
        });
        QTreeWidget* params = form->parameterList();
        params->setCurrentItem(params->topLevelItem(0));
        emit params->itemDoubleClicked(params->topLevelItem(0), 0);
    }

    velk::test::TestHttpServer m_server;
};

TEST_F(ParamFaults, AnEditedStaticTextWithACommaIsEncodedOnce) {
    const int32_t id = searchRequest();
    addRecorded(id, "q", "J\xC3\xA9 & co, 50%+x");
    m_view->requestOptions()->showRequest(id);
    editFirstParameter([](ParamDialog& dialog) {
        EXPECT_EQ(dialog.textField()->text(), QStringLiteral("Jé & co, 50%+x"));
        dialog.textField()->end(false);
        QTest::keyClicks(dialog.textField(), "y");
    });
    EXPECT_EQ(runOnce(), "/search?q=J%c3%a9+%26+co%2c+50%25%2bxy");
}

TEST_F(ParamFaults, AParameterAddedByHandIsEncodedAndTheDialogSaysSo) {
    const int32_t id = searchRequest();
    addRecorded(id, "q", "lamp");
    m_view->requestOptions()->showRequest(id);
    RequestOptionsPanel* form = m_view->requestOptions();
    bool shownOn = false;
    form->setDialogRunner([&](ParamDialog& dialog) {
        dialog.show();
        shownOn = dialog.encodeBox()->isChecked();
        QTest::keyClicks(dialog.nameField(), "note");
        QTest::keyClicks(dialog.textField(), "desk set");
        return int(QDialog::Accepted);
    });
    click(form->addParameterButton());
    EXPECT_TRUE(shownOn);
    ASSERT_EQ(request(id).paramCount(), 2);
    EXPECT_TRUE(request(id).getParam(1)->getEncode());
    EXPECT_EQ(runOnce(), "/search?q=lamp&note=desk+set");
}

TEST_F(ParamFaults, TheEncodingFlagIsShownAndChanged) {
    const int32_t id = searchRequest();
    addRecorded(id, "q", "a%20b");
    m_view->requestOptions()->showRequest(id);
    editFirstParameter([](ParamDialog& dialog) {
        EXPECT_TRUE(dialog.encodeBox()->isChecked());
        EXPECT_EQ(dialog.formulaField()->text(), QStringLiteral("a%2520b"));
        dialog.encodeBox()->click();
        EXPECT_EQ(dialog.formulaField()->text(), QStringLiteral("a%20b"));
    });
    EXPECT_FALSE(request(id).getParam(0)->getEncode());
    EXPECT_EQ(runOnce(), "/search?q=a%20b");
}

TEST_F(ParamFaults, TryingAnotherKindKeepsTheValue) {
    const int32_t id = searchRequest();
    addRecorded(id, "q", "lamp");
    m_view->requestOptions()->showRequest(id);
    editFirstParameter([](ParamDialog& dialog) {
        dialog.functionList()->setCurrentRow(CReqParamFunction::kHiddenParameter);
        EXPECT_EQ(dialog.textField()->text(), QStringLiteral("lamp"));
        dialog.functionList()->setCurrentRow(CReqParamFunction::kStaticText);
        EXPECT_EQ(dialog.textField()->text(), QStringLiteral("lamp"));
    });
    ASSERT_EQ(request(id).getParam(0)->count(), 1);
    EXPECT_EQ(request(id).getParam(0)->get(0)->getKind(), CReqParamFunction::kStaticText);
    EXPECT_EQ(runOnce(), "/search?q=lamp");
}

TEST_F(ParamFaults, AKindChosenWithoutAnEditIsKept) {
    const int32_t id = searchRequest();
    addRecorded(id, "token", "token");
    m_view->requestOptions()->showRequest(id);
    editFirstParameter([](ParamDialog& dialog) {
        dialog.functionList()->setCurrentRow(CReqParamFunction::kHiddenParameter);
        EXPECT_EQ(dialog.formulaField()->text(), QStringLiteral("$Hidden(token)"));
    });
    EXPECT_EQ(request(id).getParam(0)->buildValue(false, '&'), "$Hidden(token)");
}

}  // namespace
}  // namespace velk::editor::test
