// Black-box tests of the C interface, through the shared library as callers use it.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/message_capture.h"
#include "velkcore.h"

namespace {

using velk::test::MessageCapture;

class ExportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitKS(0, 0);
        SetOutFunc(&m_capture, MessageCapture::sink);
        m_set = CreateTestSet();
        ASSERT_NE(m_set, nullptr);
    }
    void TearDown() override {
        FreeTestSet(m_set);
        SetOutFunc(nullptr, nullptr);
        CleanupKS();
    }

    TestInfo info() {
        TestInfo i{};
        GetInfo(m_set, &i);
        return i;
    }

    MessageCapture m_capture;
    TestSet* m_set = nullptr;
};

TEST_F(ExportsTest, NullArgumentsAreHarmless) {
    FreeTestSet(nullptr);
    EXPECT_EQ(ParseTest(nullptr, nullptr, "[a]"), 0);
    EXPECT_EQ(ParseTest(m_set, nullptr, nullptr), 0);
    EXPECT_EQ(SetProperty(nullptr, "clients=1"), 0);
    EXPECT_EQ(ParseGeneralParam(m_set, nullptr, "1"), 0);
    EXPECT_EQ(Calculate3DArrayMemoryAmount(nullptr), 0);
    GetInfo(m_set, nullptr);
}

TEST_F(ExportsTest, SetPropertyAndParseGeneralParam) {
    EXPECT_EQ(SetProperty(m_set, "clients=5"), 1);
    EXPECT_EQ(info().users, 5);
    EXPECT_EQ(SetProperty(m_set, "clients"), 0);
    EXPECT_EQ(m_capture.count(), 0u);
    EXPECT_EQ(ParseGeneralParam(m_set, "Clients", "6"), 0);
    EXPECT_EQ(ParseGeneralParam(m_set, "requests", "6"), 1);
    EXPECT_EQ(ParseGeneralParam(m_set, "RATE", "60"), 1);
    EXPECT_EQ(SetProperty(m_set, "requests=x"), 0);
    EXPECT_EQ(m_capture.last(), "Integer number expected as a value of requests");
    EXPECT_EQ(info().iterations, 6);
}

TEST_F(ExportsTest, GetInfoDescribesTheTestSequence) {
    ASSERT_EQ(ParseTest(m_set, "shop", "clients=3\nrequests=4\nnodetails=1\n[home]\n[cart]\n"), 1);
    TestInfo i = info();
    EXPECT_EQ(i.users, 3);
    EXPECT_EQ(i.iterations, 4);
    EXPECT_EQ(i.sequenceLength, 2);
    EXPECT_EQ(i.nodetails, 1);
    ASSERT_NE(i.sequenceNames, nullptr);
    EXPECT_STREQ(i.sequenceNames[0], "home");
    EXPECT_STREQ(i.sequenceNames[1], "cart");

    ASSERT_EQ(SetProperty(m_set, "script=test.js"), 1);
    i = info();
    EXPECT_EQ(i.iterations, -1);
    EXPECT_EQ(i.sequenceLength, 1);
}

TEST_F(ExportsTest, ParseTestReportsTheFirstErrorOnceAndKeepsEarlierWork) {
    EXPECT_EQ(ParseTest(m_set, nullptr, "clients=2\n[a]\n$fail=nope\n[b]\n"), 0);
    EXPECT_EQ(m_capture.lines(),
              std::vector<std::string>{"script:3: Invalid regexp in $fail parameter"});
    EXPECT_EQ(info().users, 2);
}

TEST_F(ExportsTest, CoreVersionText) {
    char buffer[128];
    std::memset(buffer, 'x', sizeof buffer);
    int32_t n = GetCoreVersion(buffer);
    EXPECT_STREQ(buffer, "2.0 build 100 date Mon Jul 30 10:07:00 2002");
    EXPECT_EQ(n, int32_t(std::strlen(buffer)));
}

TEST_F(ExportsTest, ResultMemoryIsComputedIn64Bits) {
    EXPECT_EQ(Calculate3DArrayMemoryAmount("requests=1000\nclients=100\n[a]\n[b]\n"), 800000);
    EXPECT_EQ(Calculate3DArrayMemoryAmount("requests=100000\nclients=100000\n[a]\n[b]\n"),
              int64_t(4) * 2 * 100000 * 100000);
}

TEST_F(ExportsTest, CommandLineGivesVariablesAndTheTestName) {
    char a0[] = "velkrun", a1[] = "-host=web1", a2[] = "/users=10", a3[] = "test1", a4[] = "-a=b=c",
         a5[] = "-Host=other", a6[] = "-host=b";
    char* argv[] = {a0, a1, a2, a3, a4, a5, a6, nullptr};
    ASSERT_EQ(ParseCommandLine(m_set, 7, argv), 1);
    EXPECT_STREQ(a1, "-host");  // the caller's argument is cut at its "="
    ASSERT_EQ(
        ParseTest(m_set, nullptr,
                  "server=$gvar(host)\nclients=$gvar(users)\nuri=/$gvar(a)/$gvar(Host)\n[r]\n"),
        1);
    ASSERT_EQ(SetProperty(m_set, "outfile=x"), 1);
    TestInfo i = info();
    EXPECT_EQ(i.users, 10);

    char b0[] = "velkrun", b1[] = "-verbose", b2[] = "-late=1";
    char* bad[] = {b0, b1, b2, nullptr};
    EXPECT_EQ(ParseCommandLine(m_set, 3, bad), 0);
    EXPECT_EQ(m_capture.last(), "Invalid command line option -verbose!");
}

// Every refusal leaves the export as one message, said once, and its failure value.
TEST_F(ExportsTest, EachRefusalIsSaidExactlyOnce) {
    VelkRunTotals totals{};
    VelkLatencyStats stats{};
    VelkTimeline timeline{};
    VelkLoopLag lag{};
    const char garbage[] = "not shard results";
    struct Case {
        const char* name;
        std::function<int64_t()> call;
        int64_t failure;
        const char* message;
    } cases[] = {
        {"SetLoopThreads", [&] { return SetLoopThreads(m_set, -1); }, 0,
         "Invalid number of event-loop threads -1 (0 to 1024)!"},
        {"SelectUsers", [&] { return SelectUsers(m_set, 2, 2); }, 0, "Invalid user share 2 of 2!"},
        {"SaveResults", [&] { return SaveResults(m_set, nullptr, nullptr, nullptr); }, -1,
         "There are no results to save: the test has not run!"},
        {"ExportResultData", [&] { return ExportResultData(m_set, nullptr, 0); }, 0,
         "There are no results to export: the test has not run!"},
        {"GetRunTotals", [&] { return GetRunTotals(m_set, &totals); }, 0,
         "There are no results: the test has not run!"},
        {"GetLatencyStats", [&] { return GetLatencyStats(m_set, 0, &stats); }, 0,
         "There are no results: the test has not run!"},
        {"GetTimeline", [&] { return GetTimeline(m_set, &timeline); }, 0,
         "There are no results: the test has not run!"},
        {"GetLoopLag", [&] { return GetLoopLag(m_set, -1, &lag); }, 0,
         "There are no results: the test has not run!"},
        {"ImportResultData",
         [&] { return ImportResultData(m_set, garbage, int64_t(sizeof garbage)); }, 0, nullptr},
        {"ParseGeneralParam", [&] { return ParseGeneralParam(m_set, "clients", "x"); }, 0,
         "Integer number expected as a value of clients"},
        {"ParseTest", [&] { return ParseTest(m_set, nullptr, "[a]\n[a]\n"); }, 0,
         "script:2: Duplicate request definition:a"},
    };
    for (const Case& c : cases) {
        m_capture.clear();
        EXPECT_EQ(c.call(), c.failure) << c.name;
        ASSERT_EQ(m_capture.count(), 1u) << c.name;
        if (c.message)
            EXPECT_EQ(m_capture.last(), c.message) << c.name;
        else
            EXPECT_EQ(m_capture.last().rfind("Cannot use shard results: ", 0), 0u) << c.name;
    }
}

TEST_F(ExportsTest, MemoryEstimateStillSaysAParseErrorOnce) {
    EXPECT_EQ(Calculate3DArrayMemoryAmount("requests=2\n[a]\n[a]\n"), 8);
    EXPECT_EQ(m_capture.lines(),
              std::vector<std::string>{"test:3: Duplicate request definition:a"});
}

TEST(ExportsNoCallbacks, NullOutputCallbackSilencesInsteadOfCrashing) {
    SetOutFunc(nullptr, nullptr);
    TestSet* set = CreateTestSet();
    EXPECT_EQ(ParseTest(set, nullptr, "clients=x\n"), 0);
    FreeTestSet(set);
}

}  // namespace
