// Recorded outcomes: the check lines made of them, the engine's reading of
// those lines, and their place in the .vts file (read by this program and by
// one that knows only the document record).
#include <gtest/gtest.h>

#include "app/scenario/recorded_outcome.h"
#include "app/scenario/scenario.h"
#include "app/scenario/scenario_file.h"
#include "app/scenario/vts_reader.h"
#include "common/message_capture.h"
#include "common/status_assert.h"
#include "velkcore.h"

namespace velk::scenario {
namespace {

TEST(RecordedOutcome, TitlePatterns) {
    const std::pair<const char*, const char*> cases[] = {
        {"Your account - VELK demo shop",
         "/<title[^>]*>\\s*Your\\s+account\\s+\\-\\s+VELK\\s+demo\\s+shop\\s*<\\/title>/i"},
        {"  a   b\t", "/<title[^>]*>\\s*a\\s+b\\s*<\\/title>/i"},
        {"1+1=2 (x/y)?", "/<title[^>]*>\\s*1\\+1\\=2\\s+\\(x\\/y\\)\\?\\s*<\\/title>/i"},
        {"Jé & co", "/<title[^>]*>\\s*J[^<]*?\\s+[^<]*?\\s+co\\s*<\\/title>/i"},
        {"\"Q\" <b>", "/<title[^>]*>\\s*[^<]*?Q[^<]*?\\s+[^<]*?b[^<]*?\\s*<\\/title>/i"},
        {"   ", ""},
        {"", ""},
    };
    for (const auto& [title, pattern] : cases) EXPECT_EQ(titlePattern(title), pattern) << title;
    // A long title is cut, never inside a UTF-8 character.
    std::string longTitle(RecordedOutcome::kMaxTitle - 1, 'a');
    longTitle += "é";
    EXPECT_EQ(titlePattern(longTitle).find("[^<]"), std::string::npos);
}

TEST(RecordedOutcome, CheckLines) {
    RecordedOutcome o{200, "/account", "Account", 10};
    EXPECT_EQ(checkLines(o, true), "$fail=!/<title[^>]*>\\s*Account\\s*<\\/title>/i\r\n");
    EXPECT_EQ(checkLines(o, false),
              "$fail=!/<title[^>]*>\\s*Account\\s*<\\/title>/i\r\n$expectlocation=/account\r\n");
    o.title.clear();
    EXPECT_EQ(checkLines(o, true), "$expectlocation=/account\r\n");
    o.location = "/a\r\nb";
    EXPECT_EQ(checkLines(o, true), "");
}

class RecordedChecks : public ::testing::Test {
protected:
    void SetUp() override {
        m_scenario.reset();
        CRequest::resetIdCounter();
    }

    CRequest& add(const char* name, const char* uri, std::optional<RecordedOutcome> outcome) {
        auto r = std::make_unique<CRequest>();
        r->setName(name);
        r->setMethod(CRequest::kGet);
        r->setSecure(CRequest::kPlain);
        r->setServer("127.0.0.1:8080");
        r->setUri(uri);
        r->setOutcome(std::move(outcome));
        return *m_scenario.requests().addChild(0, std::move(r));
    }

    std::string requestPart() {
        std::string out;
        EXPECT_TRUE(m_scenario.requests().generateRequestPart(out));
        return out;
    }

    CScenario m_scenario;
};

TEST_F(RecordedChecks, ChecksAreWrittenOnlyWhenSwitchedOn) {
    add("form", "login", RecordedOutcome{200, "", "Log in", 100});
    add("login", "login", RecordedOutcome{200, "/account", "Your account", 100});
    add("typed", "free", std::nullopt);
    EXPECT_EQ(requestPart().find("$fail"), std::string::npos);
    m_scenario.requests().setRecordedChecks(true);
    const std::string part = requestPart();
    EXPECT_NE(part.find("[form]\r\n$method=GET"), std::string::npos);
    EXPECT_NE(part.find("$fail=!/<title[^>]*>\\s*Log\\s+in\\s*<\\/title>/i\r\n"),
              std::string::npos);
    EXPECT_NE(part.find("Your\\s+account"), std::string::npos);
    // Titles tell these pages apart: no redirect checks.
    EXPECT_EQ(part.find("$expectlocation"), std::string::npos);
    const size_t typed = part.find("[typed]");
    EXPECT_EQ(part.find("$fail", typed), std::string::npos);
}

TEST_F(RecordedChecks, PagesWithOneTitleAreToldApartByWhereTheyLanded) {
    m_scenario.requests().setRecordedChecks(true);
    add("form", "login", RecordedOutcome{200, "", "Shop", 100});
    add("login", "login", RecordedOutcome{200, "/account", "Shop", 100});
    add("about", "about", RecordedOutcome{200, "", "About", 100});
    const std::string part = requestPart();
    EXPECT_NE(part.find("Shop\\s*<\\/title>/i\r\n$expectlocation=\r\n"), std::string::npos) << part;
    EXPECT_NE(part.find("$expectlocation=/account\r\n"), std::string::npos) << part;
    EXPECT_EQ(part.find("$expectlocation", part.find("[about]")), std::string::npos);
}

TEST_F(RecordedChecks, TheEngineReadsTheCheckLines) {
    m_scenario.requests().setRecordedChecks(true);
    add("form", "login", RecordedOutcome{200, "", "Jé & \"co\" (1/2) [x]", 100});
    add("login", "login", RecordedOutcome{200, "/account", "", -1});
    const StatusOr<std::string> made = m_scenario.generateScript(settings::GlobalSettings());
    ASSERT_TRUE(velk::test::isOk(made));
    const std::string& text = *made;
    velk::test::MessageCapture messages;
    InitKS(0, 0);
    SetOutFunc(&messages, &velk::test::MessageCapture::sink);
    TestSet* set = CreateTestSet();
    EXPECT_EQ(ParseTest(set, "checks", text.c_str()), 1) << text << messages.last();
    FreeTestSet(set);
    SetOutFunc(nullptr, nullptr);
    CleanupKS();
}

TEST_F(RecordedChecks, FilesWithoutRecordedDataKeepTheirFormat) {
    add("a", "x", std::nullopt);
    const std::string plain = scenarioFileBytes(m_scenario);
    // The old layout exactly: the document record ends the file.
    CScenario reread;
    VtsReader in(plain);
    ASSERT_TRUE(in.beginRecord());
    reread.read(in);
    EXPECT_TRUE(in.ok());
    EXPECT_EQ(in.remaining(), 0u);
    // And a file of the old layout reads with no outcomes and checks off.
    CScenario fresh;
    ASSERT_TRUE(velk::test::isOk(readScenarioBytes(fresh, plain)));
    EXPECT_FALSE(fresh.requests().getRecordedChecks());
    EXPECT_EQ(fresh.requests().outcomeCount(), 0);
}

TEST_F(RecordedChecks, OutcomesRoundTripAndOlderReadersStopBeforeThem) {
    add("a", "x", std::nullopt);
    add("b", "y", RecordedOutcome{302, "/account", "Your account", 4096});
    add("c", "z", RecordedOutcome{200, "", "Ünïcode title", -1});
    m_scenario.requests().setRecordedChecks(true);
    const std::string bytes = scenarioFileBytes(m_scenario);

    CScenario back;
    ASSERT_TRUE(velk::test::isOk(readScenarioBytes(back, bytes)));
    EXPECT_TRUE(back.requests().getRecordedChecks());
    {
        std::lock_guard<CRequestsContainer> g(back.requests());
        const auto all = back.requests().flattened();
        ASSERT_EQ(all.size(), 3u);
        EXPECT_FALSE(all[0]->getOutcome());
        EXPECT_EQ(*all[1]->getOutcome(), (RecordedOutcome{302, "/account", "Your account", 4096}));
        EXPECT_EQ(all[2]->getOutcome()->title, "Ünïcode title");
    }
    EXPECT_EQ(scenarioFileBytes(back), bytes);

    // A reader that knows only the document record reads the same requests
    // and leaves the trailing block alone.
    CScenario older;
    VtsReader in(bytes);
    ASSERT_TRUE(in.beginRecord());
    older.read(in);
    EXPECT_TRUE(in.ok());
    EXPECT_GT(in.remaining(), 0u);
    EXPECT_EQ(older.requests().count(), 3);
}

TEST_F(RecordedChecks, DamagedOrLaterBlocksOfRecordedData) {
    add("a", "x", RecordedOutcome{200, "", "T", 1});
    m_scenario.requests().setRecordedChecks(true);
    const std::string bytes = scenarioFileBytes(m_scenario);
    // Tag, version, switch, count; then index, status, two texts ("" and "T"), size.
    const size_t block = bytes.size() - (16 + 4 + 4 + 4 + 5 + 4);
    ASSERT_EQ(bytes.substr(block, 4), "VKTX");
    {
        CScenario s;
        EXPECT_FALSE(readScenarioBytes(s, bytes.substr(0, bytes.size() - 3)));
    }
    {
        // Request index 7 of 1.
        std::string bad = bytes;
        bad[block + 16] = 7;
        CScenario s;
        const Status status = readScenarioBytes(s, bad);
        EXPECT_NE(status.message().find("request 7 of 1"), std::string::npos) << status.message();
    }
    {
        // A later version of the block is not this program's to read.
        std::string later = bytes;
        later[block + 4] = 2;
        CScenario s;
        EXPECT_TRUE(velk::test::isOk(readScenarioBytes(s, later)));
        EXPECT_EQ(s.requests().outcomeCount(), 0);
        EXPECT_EQ(s.requests().count(), 1);
    }
    {
        // A huge count in a few bytes allocates nothing.
        std::string huge = bytes;
        huge[block + 12] = '\xff';
        huge[block + 13] = '\xff';
        huge[block + 14] = '\xff';
        huge[block + 15] = '\x7f';
        CScenario s;
        EXPECT_FALSE(readScenarioBytes(s, huge));
    }
}

}  // namespace
}  // namespace velk::scenario
