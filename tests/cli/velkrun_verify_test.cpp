// velkrun --verify: a recorded login played against the demo site on
// loopback, with its token replayed as recorded (exit 6, the login marked)
// and fetched anew (exit 0); a login page that sends a signed-in visitor on,
// which differs from the second iteration; hand-written scenarios by status
// class.
#include <gtest/gtest.h>

#include "app/scenario/scenario.h"
#include "app/scenario/scenario_file.h"
#include "common/build_tree.h"
#include "common/child_process.h"
#include "common/status_assert.h"
#include "common/temp_dir.h"
#include "demo_server.h"
#include "support/test_http_server.h"

namespace velk::test {
namespace {

using scenario::CReqParam;
using scenario::CReqParamFunction;
using scenario::CRequest;
using scenario::RecordedOutcome;

class VelkrunVerify : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", m_config.path().c_str(), 1);
        m_site.start(0);
        m_scenario.reset();
        CRequest::resetIdCounter();
    }

    CRequest& add(const char* name, int32_t method, const char* uri,
                  std::optional<RecordedOutcome> outcome,
                  std::vector<std::pair<std::string, std::string>> params = {}) {
        auto r = std::make_unique<CRequest>();
        r->setName(name);
        r->setMethod(method);
        r->setSecure(CRequest::kPlain);
        r->setServer("127.0.0.1:$gvar(port,1)");
        r->setUri(uri);
        if (method == CRequest::kPost) r->setContentType("application/x-www-form-urlencoded");
        r->setOutcome(std::move(outcome));
        for (auto& [n, v] : params) {
            auto p = std::make_unique<CReqParam>();
            p->setNameAndEncode(n, true);
            auto f = std::make_unique<CReqParamFunction>();
            f->setText(v);
            p->insert(-1, std::move(f));
            r->insertParam(-1, std::move(p));
        }
        return *m_scenario.requests().addChild(0, std::move(r));
    }

    void addLogin() {
        add("loginform", CRequest::kGet, "login",
            RecordedOutcome{200, "", "Log in - VELK demo shop", 900});
        add("login", CRequest::kPost, "login",
            RecordedOutcome{200, "/account", "Your account - VELK demo shop", 700},
            {{"user", "alice"},
             {"password", "secret"},
             {"token", "9f8e7d6c5b4a39281706f5e4d3c2b1a0"}});
        m_scenario.requests().setRecordedChecks(true);
    }

    int verify(std::string& out, uint16_t port = 0) {
        const std::string path = m_dir.file("recorded.vts");
        EXPECT_TRUE(velk::test::isOk(scenario::saveScenarioFile(m_scenario, path)));
        ChildProcess child(
            VELKRUN_PATH,
            {"--verify", path, "-port=" + std::to_string(port ? port : m_site.port())},
            m_dir.file("out.txt"), m_dir.file("err.txt"));
        const int status = child.wait();
        out = child.out();
        EXPECT_EQ(status == 6 || status == 0, true) << child.err();
        return status;
    }

    TempDir m_dir, m_config;
    demo::DemoServer m_site;
    scenario::CScenario m_scenario;
};

TEST_F(VelkrunVerify, AStaleTokenDiffersAndExitsSix) {
    addLogin();
    std::string out;
    EXPECT_EQ(verify(out), 6);
    EXPECT_NE(out.find("  loginform\t200\t200\t\t\tLog in - VELK demo shop\t"), std::string::npos)
        << out;
    EXPECT_NE(
        out.find("! login\t200\t200\t/account\t\tYour account - VELK demo shop\tLog in - VELK "
                 "demo shop\t"),
        std::string::npos)
        << out;
    EXPECT_NE(out.find("2 requests played, 1 differs from the recording"), std::string::npos)
        << out;
}

TEST_F(VelkrunVerify, TheFetchedTokenMatchesTheRecording) {
    addLogin();
    {
        std::lock_guard<scenario::CRequestsContainer> g(m_scenario.requests());
        CReqParam* token = m_scenario.requests().flattened()[1]->findParam("token");
        token->get(0)->setKind(CReqParamFunction::kHiddenParameter);
        token->get(0)->setText("token");
    }
    std::string out;
    EXPECT_EQ(verify(out), 0) << out;
    EXPECT_NE(out.find("2 requests played, 0 differ from the recording"), std::string::npos) << out;
}

TEST_F(VelkrunVerify, ALoginPageThatSendsASignedInVisitorOnDiffersInTheSecondIteration) {
    TestHttpServer server;
    server.setHandler([](const ReceivedRequest& req, Responder& r) {
        const bool signedIn = req.header("Cookie").find("sid=1") != std::string::npos;
        if (req.method == "POST")
            r.respond(302, "", "Location: /account\r\nSet-Cookie: sid=1; Path=/\r\n");
        else if (req.target == "/account" || signedIn)
            r.respond(signedIn && req.target != "/account" ? 302 : 200, "<title>Account</title>",
                      "Location: /account\r\n");
        else
            r.respond(200, "<title>Log in</title>");
    });
    add("loginform", CRequest::kGet, "login", RecordedOutcome{200, "", "Log in", 21});
    add("login", CRequest::kPost, "login", RecordedOutcome{200, "/account", "Account", 22},
        {{"user", "alice"}});
    std::string out;
    EXPECT_EQ(verify(out, server.port()), 6) << out;
    EXPECT_NE(out.find("  loginform\t200\t200\t\t\tLog in\tLog in\t"), std::string::npos) << out;
    EXPECT_NE(out.find("! loginform (iteration 2)\t200\t200\t\t/account\tLog in\tAccount\t"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("2 requests played, 1 differs from the recording"), std::string::npos)
        << out;
}

TEST_F(VelkrunVerify, HandWrittenScenariosVerifyOnStatusClasses) {
    add("home", CRequest::kGet, "", std::nullopt);
    std::string out;
    EXPECT_EQ(verify(out), 0) << out;
    add("missing", CRequest::kGet, "no-such-page", std::nullopt);
    EXPECT_EQ(verify(out), 6) << out;
    EXPECT_NE(out.find("! missing\t-\t404\t"), std::string::npos) << out;
}

TEST_F(VelkrunVerify, OnlyScenariosCanBeVerified) {
    const std::string script = m_dir.file("plain.txt");
    ChildProcess child(VELKRUN_PATH, {"--verify", script}, m_dir.file("out.txt"),
                       m_dir.file("err.txt"));
    EXPECT_EQ(child.wait(), 1);
    EXPECT_NE(child.err().find("--verify takes a scenario file"), std::string::npos);
}

}  // namespace
}  // namespace velk::test
