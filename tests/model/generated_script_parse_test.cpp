// Every script the model writes must be one the engine accepts: each scenario
// here is generated and handed to ParseTest, and what the engine read back is
// compared with the scenario.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/scenario/scenario.h"
#include "app/scenario/scenario_file.h"
#include "common/message_capture.h"
#include "common/status_assert.h"
#include "demo_scenario.h"
#include "velkcore.h"

namespace velk::scenario {
namespace {

class GeneratedScriptParse : public ::testing::Test {
protected:
    void SetUp() override {
        InitKS(0, 0);
        SetOutFunc(&m_messages, &velk::test::MessageCapture::sink);
        m_scenario.reset();
    }
    void TearDown() override {
        SetOutFunc(nullptr, nullptr);
        CleanupKS();
    }

    CRequest& add(const char* name, int32_t method = CRequest::kGet) {
        auto r = std::make_unique<CRequest>();
        r->setName(name);
        r->setMethod(method);
        r->setServer("127.0.0.1:8080");
        r->setSecure(CRequest::kPlain);
        r->setUri(std::string("path/") + name);
        return *m_scenario.requests().addChild(0, std::move(r));
    }

    // Generates, parses and returns what the engine reports about the test.
    TestInfo parse(const settings::GlobalSettings& settings = settings::GlobalSettings()) {
        const StatusOr<std::string> made = m_scenario.generateScript(settings);
        EXPECT_TRUE(velk::test::isOk(made));
        const std::string text = made ? *made : std::string();
        m_set.reset(CreateTestSet());
        EXPECT_EQ(ParseTest(m_set.get(), "generated", text.c_str()), 1)
            << text << "\nengine: " << m_messages.last();
        TestInfo info{};
        GetInfo(m_set.get(), &info);
        return info;
    }

    static std::vector<std::string> names(const TestInfo& info) {
        std::vector<std::string> out;
        for (int32_t i = 0; i < info.sequenceLength; ++i) out.emplace_back(info.sequenceNames[i]);
        return out;
    }

    struct FreeSet {
        void operator()(TestSet* s) const { FreeTestSet(s); }
    };
    velk::test::MessageCapture m_messages;
    CScenario m_scenario;
    std::unique_ptr<TestSet, FreeSet> m_set;
};

TEST_F(GeneratedScriptParse, DefaultScenarioWithRequests) {
    add("home");
    add("login", CRequest::kPost);
    const TestInfo info = parse();
    EXPECT_EQ(info.users, 20);
    EXPECT_EQ(info.iterations, 5);
    EXPECT_EQ(names(info), (std::vector<std::string>{"home", "login"}));
    EXPECT_EQ(info.nodetails, 1);
}

TEST_F(GeneratedScriptParse, EveryComponentKindEncodedAndNot) {
    CRequest& r = add("all", CRequest::kPost);
    r.setContentType("multipart/form-data");
    const std::string uploadPath = ::testing::TempDir() + "velk-upload.txt";
    std::ofstream(uploadPath) << "upload";
    for (int32_t kind = 0; kind < CReqParamFunction::kKindCount; ++kind) {
        for (bool encode : {false, true}) {
            auto p = std::make_unique<CReqParam>();
            p->setNameAndEncode("p" + std::to_string(kind) + (encode ? "e" : ""), encode);
            auto f = std::make_unique<CReqParamFunction>();
            f->setKind(kind);
            f->setFrom(1);
            f->setTo(9);
            f->setShift(10);
            if (kind == CReqParamFunction::kFile) {
                f->setText(uploadPath);
                f->setExtra("text/plain");
            } else if (kind == CReqParamFunction::kRandomFromList ||
                       kind == CReqParamFunction::kOrderedList) {
                f->setList("a b\r\nc,d\r\n50%");
            } else {
                f->setText("x y,z%");
                f->setExtra("q");
            }
            p->insert(-1, std::move(f));
            auto literal = std::make_unique<CReqParamFunction>();
            literal->makeLiteral("&tail");
            p->insert(-1, std::move(literal));
            r.insertParam(-1, std::move(p));
        }
    }
    const TestInfo info = parse();
    EXPECT_EQ(names(info), (std::vector<std::string>{"all"}));
}

TEST_F(GeneratedScriptParse, EverySwitchOnWithSequencesAndAProxy) {
    add("login", CRequest::kPost);
    CRequest& page = add("page");
    page.setUseDelay(true);
    page.setDelayFrom(1);
    page.setDelayTo(3);
    page.setServer("host:8443");
    page.setSecure(CRequest::kHttps);
    add("logout");
    CGeneralSection& g = m_scenario.general();
    g.proxyEmulation = true;
    g.useAuthorization = true;
    g.authorizationUser = "u";
    g.authorizationPassword = "p";
    g.useUserAgent = true;
    g.keepAlive = true;
    g.speedLimit = 56000;
    g.projectName = "everything";
    CRunSection& run = m_scenario.run();
    run.writeLog = true;
    run.useReportDirectory = true;
    run.useRequestLimit = true;
    run.useTimeLimit = true;
    run.description = "all on";
    run.rateMode = 1;
    run.details = true;
    run.timeStamps = true;
    run.timingMode = 1;
    run.rounding = 2;
    run.useInitialSequence = true;
    run.useFinalSequence = true;
    run.initialSequence = {"login"};
    run.mainSequence = {"page", "page(x=1,$method=POST)"};
    run.finalSequence = {"logout"};
    settings::GlobalSettings settings;
    settings::GlobalSettings::Values v;
    v.useProxy = true;
    v.proxyType = 1;
    v.proxyServer = "proxy";
    v.proxyPort = 3128;
    v.proxyAuth = true;
    v.proxyUser = "pu";
    v.proxyPassword = "pp";
    v.httpVersion = 0;
    ASSERT_TRUE(settings.setValues(v));
    const TestInfo info = parse(settings);
    EXPECT_EQ(names(info), (std::vector<std::string>{"page", "page"}));
    EXPECT_EQ(info.nodetails, 0);
    EXPECT_EQ(info.iterations, 400);  // 1 minute × 1200 / 3 requests
}

TEST_F(GeneratedScriptParse, TheExampleScenario) {
    velk::test::buildDemoScenario(m_scenario);
    const TestInfo info = parse();
    EXPECT_EQ(info.users, 10);
    EXPECT_EQ(names(info),
              (std::vector<std::string>{"home", "products", "product", "search", "slow"}));
}

TEST(ExampleScenario, TheCommittedFileIsWhatTheModelBuilds) {
    CScenario built;
    built.reset();
    velk::test::buildDemoScenario(built);
    std::ifstream in(VELK_EXAMPLES_DIR "/demo-shop.vts", std::ios::binary);
    ASSERT_TRUE(in) << "regenerate it with write_demo_scenario examples/demo-shop.vts";
    const std::string committed((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
    EXPECT_EQ(committed, scenarioFileBytes(built))
        << "regenerate it with write_demo_scenario examples/demo-shop.vts";
    CScenario loaded;
    EXPECT_TRUE(velk::test::isOk(readScenarioBytes(loaded, committed)));
    EXPECT_EQ(loaded.requests().count(), 7);
}

}  // namespace
}  // namespace velk::scenario
