// The checks before a run: each value the engine would refuse is refused once
// here with a message naming it, and the limits are the engine's own: a text
// at the limit parses, one character more is refused by both.
#include "app/scenario/scenario_checks.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/scenario/scenario.h"
#include "common/message_capture.h"
#include "common/status_assert.h"
#include "velkcore.h"

namespace velk::scenario {
namespace {

class ScenarioChecks : public ::testing::Test {
protected:
    void SetUp() override {
        m_scenario.reset();
        m_scenario.run().useReportDirectory = false;
        add("home");
        add("");  // written as req_<id>
    }

    CRequest& add(const char* name) {
        auto r = std::make_unique<CRequest>();
        r->setName(name);
        r->setMethod(CRequest::kGet);
        r->setServer("127.0.0.1:8080");
        return *m_scenario.requests().addChild(0, std::move(r));
    }

    // What the engine says about the generated script: empty when it parses.
    std::string engineRefusal() {
        const StatusOr<std::string> script = m_scenario.generateScript(settings::GlobalSettings());
        if (!script) return "not written: " + script.status().message();
        const std::string& text = *script;
        velk::test::MessageCapture messages;
        InitKS(0, 0);
        SetOutFunc(&messages, &velk::test::MessageCapture::sink);
        TestSet* set = CreateTestSet();
        const int ok = ParseTest(set, "checked", text.c_str());
        FreeTestSet(set);
        SetOutFunc(nullptr, nullptr);
        CleanupKS();
        return ok == 1 ? std::string() : messages.last() + " ";
    }

    CScenario m_scenario;
};

TEST_F(ScenarioChecks, ADefaultScenarioPasses) {
    EXPECT_TRUE(velk::test::isOk(checkScenarioForRun(m_scenario)));
    EXPECT_EQ(engineRefusal(), "");
}

TEST_F(ScenarioChecks, EachRefusalNamesWhatIsWrong) {
    // engineRefuses: the engine's parse fails on it; the others it would take
    // wrongly (a line break in a user agent adds a header line of its own, one
    // in a parameter value a parameter of its own).
    struct Case {
        const char* what;
        std::function<void(CScenario&)> change;
        bool engineRefuses = true;
    };
    const Case cases[] = {
        {"The description is 64", [](CScenario& s) { s.run().description = std::string(64, 'd'); }},
        {"The description holds a line break",
         [](CScenario& s) { s.run().description = "two\nlines"; }},
        {"The user agent holds a line break",
         [](CScenario& s) {
             s.general().useUserAgent = true;
             s.general().userAgent = "agent\r\nX-Injected: 1";
         },
         false},
        {"More than one request is named \"home\"", [this](CScenario&) { add("home"); }},
        {"A request is named \"general\"", [this](CScenario&) { add("general"); }},
        {"The proxy emulation address pattern is 32",
         [](CScenario& s) {
             s.general().proxyEmulation = true;
             s.general().proxyMask = std::string(32, '1');
         }},
        {"The authorization name and password together is 256",
         [](CScenario& s) {
             s.general().useAuthorization = true;
             s.general().authorizationUser = std::string(200, 'u');
             s.general().authorizationPassword = std::string(55, 'p');
         }},
        {"The report file name pattern is 256",
         [](CScenario& s) { s.run().outputFileTemplate = std::string(256, 'o'); }},
        {"The log directory is 270",
         [](CScenario& s) {
             s.run().writeLog = true;
             s.run().logDirectory = "/" + std::string(269, 'l');
         }},
        {"The connection speed limit is negative (-2",
         [](CScenario& s) { s.general().speedLimit = -2; }},
        {"The delay between users is negative (-10",
         [](CScenario& s) { s.run().startDelay = -10; }},
        {"Parameter \"q\" of request \"home\": its value holds a line break",
         [](CScenario& s) {
             auto p = std::make_unique<CReqParam>();
             p->setName("q");
             auto f = std::make_unique<CReqParamFunction>();
             f->makeLiteral("a\nb");
             p->insert(-1, std::move(f));
             s.requests().flattened()[0]->insertParam(-1, std::move(p));
         },
         false},
    };
    for (const Case& c : cases) {
        SetUp();
        c.change(m_scenario);
        const Status checked = checkScenarioForRun(m_scenario);
        EXPECT_EQ(checked.code(), StatusCode::kInvalid) << c.what;
        EXPECT_EQ(checked.message().rfind(c.what, 0), 0u) << checked.message();
        // Had it been run, the engine would have refused it too.
        if (c.engineRefuses) {
            EXPECT_NE(engineRefusal(), "") << c.what;
        }
    }
}

TEST_F(ScenarioChecks, TextsAtTheEnginesLimitsPass) {
    CGeneralSection& g = m_scenario.general();
    CRunSection& run = m_scenario.run();
    run.description = std::string(kMaxDescriptionLength, 'd');
    g.projectName = std::string(kMaxProjectNameLength, 'n');
    g.proxyEmulation = true;
    g.proxyMask = std::string(kMaxProxyMaskLength, '1');
    g.useAuthorization = true;
    g.authorizationUser = std::string(kMaxAuthorizationLength - 1, 'u');
    run.outputFileTemplate = std::string(kMaxOutfileLength, 'o');
    run.writeLog = true;
    run.logDirectory = "/" + std::string(kMaxLogDirectoryLength - 1, 'l');
    run.useReportDirectory = true;
    run.reportDirectory = "/" + std::string(kMaxReportDirectoryLength - 1, 'r');
    add(std::string(kMaxRequestNameLength, 'q').c_str());
    EXPECT_TRUE(velk::test::isOk(checkScenarioForRun(m_scenario)));
    EXPECT_EQ(engineRefusal(), "");
}

}  // namespace
}  // namespace velk::scenario
