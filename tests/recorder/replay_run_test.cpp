// Recordings that replay, run for real against the demo site on loopback: a
// login recorded with its one-time token fails its checks when the token is
// replayed as recorded, and passes every check once the proposals are applied;
// Verify Scenario tells the two apart.
#include <gtest/gtest.h>

#include "app/recorder/correlation.h"
#include "app/runner/scenario_verify.h"
#include "app/scenario/scenario.h"
#include "common/message_capture.h"
#include "common/status_assert.h"
#include "demo_server.h"
#include "support/test_http_server.h"
#include "velkcore.h"

namespace velk::recorder {
namespace {

using scenario::CReqParam;
using scenario::CReqParamFunction;
using scenario::CRequest;
using scenario::RecordedOutcome;

constexpr const char* kStaleToken = "0f3c9a7d2b1e4f6a8c5d7e9f1a2b3c4d";

class ReplayRun : public ::testing::Test {
protected:
    void SetUp() override {
        m_site.start(0);
        InitKS(0, 0);
        SetOutFunc(&m_messages, &velk::test::MessageCapture::sink);
        m_scenario.reset();
        CRequest::resetIdCounter();
        const std::string server = "127.0.0.1:" + std::to_string(m_site.port());
        add("loginform", CRequest::kGet, "login",
            RecordedOutcome{200, "", "Log in - VELK demo shop", 900}, {});
        add("login", CRequest::kPost, "login",
            RecordedOutcome{200, "/account", "Your account - VELK demo shop", 700},
            {{"user", "alice"}, {"password", "secret"}, {"token", kStaleToken}});
        m_scenario.requests().setRecordedChecks(true);
    }
    void TearDown() override {
        SetOutFunc(nullptr, nullptr);
        CleanupKS();
        m_site.stop();
    }

    void add(const char* name, int32_t method, const char* uri, RecordedOutcome outcome,
             std::vector<std::pair<std::string, std::string>> params) {
        auto r = std::make_unique<CRequest>();
        r->setName(name);
        r->setMethod(method);
        r->setSecure(CRequest::kPlain);
        r->setServer("127.0.0.1:" + std::to_string(m_site.port()));
        r->setUri(uri);
        if (method == CRequest::kPost) r->setContentType("application/x-www-form-urlencoded");
        r->setOutcome(outcome);
        for (auto& [n, v] : params) {
            auto p = std::make_unique<CReqParam>();
            p->setNameAndEncode(n, true);
            auto f = std::make_unique<CReqParamFunction>();
            f->setText(v);
            p->insert(-1, std::move(f));
            r->insertParam(-1, std::move(p));
        }
        m_scenario.requests().addChild(0, std::move(r));
    }

    // What the browser read from the login form while recording.
    void applyTheProposals() {
        PageFacts form;
        form.url = "http://127.0.0.1:" + std::to_string(m_site.port()) + "/login";
        form.status = 200;
        form.title = "Log in - VELK demo shop";
        form.hidden.push_back({"token", kStaleToken, form.url});
        const auto proposals = findProposals(collectExchanges(m_scenario.requests(), {{1, form}}));
        ASSERT_EQ(proposals.size(), 1u);
        EXPECT_EQ(proposals[0].replacement, "$Hidden(token)");
        EXPECT_EQ(applyProposals(m_scenario.requests(), proposals), 1);
    }

    // Failed checks of a run of users x iterations.
    int32_t failedChecks(int users, int iterations) {
        const StatusOr<std::string> made = m_scenario.generateScript(settings::GlobalSettings());
        EXPECT_TRUE(velk::test::isOk(made));
        const std::string text = made ? *made : std::string();
        TestSet* set = CreateTestSet();
        EXPECT_EQ(ParseTest(set, "replay", text.c_str()), 1) << text;
        ParseGeneralParam(set, "clients", std::to_string(users).c_str());
        ParseGeneralParam(set, "requests", std::to_string(iterations).c_str());
        ParseGeneralParam(set, "delaystart", "0");
        EXPECT_EQ(RunTest(set), 1);
        VelkLiveCounters counters{};
        EXPECT_EQ(GetLiveCounters(set, &counters), 1);
        EXPECT_EQ(counters.httpErrors + counters.networkErrors + counters.timeouts, 0);
        FreeTestSet(set);
        return counters.failedChecks;
    }

    runner::VerifyReport verify() {
        const StatusOr<runner::VerifyPlan> plan =
            runner::prepareVerify(m_scenario, settings::GlobalSettings());
        EXPECT_TRUE(plan.isOk()) << plan.status().message();
        if (!plan) return {};
        StatusOr<runner::VerifyReport> report = runner::runVerify(*plan);
        EXPECT_TRUE(report.isOk()) << report.status().message();
        return report ? std::move(report).value() : runner::VerifyReport{};
    }

    demo::DemoServer m_site;
    velk::test::MessageCapture m_messages;
    scenario::CScenario m_scenario;
};

TEST_F(ReplayRun, AStaleTokenFailsEveryLoginsCheck) {
    EXPECT_EQ(failedChecks(3, 2), 6);
    const runner::VerifyReport report = verify();
    ASSERT_EQ(report.rows.size(), 2u) << report.text();
    EXPECT_TRUE(report.differs());
    EXPECT_TRUE(report.rows[0].differences.empty()) << report.text();
    EXPECT_EQ(report.rows[1].differences, (std::vector<std::string>{"redirect", "title"}))
        << report.text();
    EXPECT_EQ(report.rows[1].replayed.title, "Log in - VELK demo shop");
}

TEST_F(ReplayRun, TheProposalsMakeEveryLoginLandOnTheAccountPage) {
    applyTheProposals();
    EXPECT_EQ(failedChecks(3, 2), 0);
    const runner::VerifyReport report = verify();
    EXPECT_FALSE(report.differs()) << report.text();
    ASSERT_EQ(report.rows.size(), 2u);
    EXPECT_EQ(report.rows[1].replayed.location, "/account");
    EXPECT_EQ(report.rows[1].replayed.title, "Your account - VELK demo shop");
    EXPECT_EQ(report.rows[1].replayed.status, 200);
}

TEST_F(ReplayRun, WithoutChecksTheStaleLoginPassesUnnoticed) {
    // What the switch guards against: the run itself reports no failure.
    m_scenario.requests().setRecordedChecks(false);
    EXPECT_EQ(failedChecks(2, 1), 0);
}

// Pages with one title: the redirect target tells them apart.
TEST(ExpectLocation, TheLastRedirectMustLeadWhereItLedWhileRecording) {
    velk::test::TestHttpServer server;
    server.setHandler([](const velk::test::ReceivedRequest& request, velk::test::Responder& r) {
        const std::string page = "<html><head><title>Shop</title></head></html>";
        if (request.target == "/go?ok=1")
            r.respond(302, "", "Location: http://127.0.0.1/account?x=1\r\n");
        else if (request.target == "/rel?ok=1")
            r.respond(302, "", "Location: account\r\n");
        else
            r.respond(200, page);
    });
    velk::test::MessageCapture messages;
    InitKS(0, 0);
    SetOutFunc(&messages, &velk::test::MessageCapture::sink);
    const auto failedChecks = [&](const char* uri, const char* ok) {
        scenario::CScenario scenario;
        scenario.reset();
        for (const char* u : {"form", uri}) {
            auto r = std::make_unique<CRequest>();
            r->setName(u);
            r->setMethod(CRequest::kGet);
            r->setSecure(CRequest::kPlain);
            r->setServer("127.0.0.1:" + std::to_string(server.port()));
            r->setUri(u);
            r->setOutcome(u == std::string("form") ? RecordedOutcome{200, "", "Shop", 10}
                                                   : RecordedOutcome{200, "/account", "Shop", 10});
            if (u != std::string("form")) {
                auto p = std::make_unique<CReqParam>();
                p->setNameAndEncode("ok", true);
                auto f = std::make_unique<CReqParamFunction>();
                f->setText(ok);
                p->insert(-1, std::move(f));
                r->insertParam(-1, std::move(p));
            }
            scenario.requests().addChild(0, std::move(r));
        }
        scenario.requests().setRecordedChecks(true);
        const StatusOr<std::string> made = scenario.generateScript(settings::GlobalSettings());
        EXPECT_TRUE(velk::test::isOk(made));
        const std::string text = made ? *made : std::string();
        EXPECT_NE(text.find("$expectlocation=/account\r\n"), std::string::npos) << text;
        TestSet* set = CreateTestSet();
        EXPECT_EQ(ParseTest(set, "location", text.c_str()), 1) << messages.last();
        ParseGeneralParam(set, "clients", "1");
        ParseGeneralParam(set, "requests", "2");
        EXPECT_EQ(RunTest(set), 1);
        VelkLiveCounters counters{};
        GetLiveCounters(set, &counters);
        FreeTestSet(set);
        return counters.failedChecks;
    };
    EXPECT_EQ(failedChecks("go", "1"), 0);
    EXPECT_EQ(failedChecks("go", "0"), 2);
    // A relative Location counts when the expected path ends in it.
    EXPECT_EQ(failedChecks("rel", "1"), 0);
    SetOutFunc(nullptr, nullptr);
    CleanupKS();
}

}  // namespace
}  // namespace velk::recorder
