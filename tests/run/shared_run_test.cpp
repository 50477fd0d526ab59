// Runs shared by several processes, played here by several test sets in one
// process: each runs a share of the users, and the shares' results, brought
// together, report what one run of all users reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "common/message_capture.h"
#include "common/report_rows.h"
#include "support/test_http_server.h"
#include "velkcore.h"

namespace velk::test {
namespace {

void appendText(void* sink, const char* text) {
    static_cast<std::string*>(sink)->append(text);
}

std::string reportOf(TestSet* set) {
    std::string text;
    EXPECT_EQ(SaveResults(set, &text, appendText, nullptr), 0);
    return text;
}

std::string exported(TestSet* set) {
    std::string bytes(size_t(ExportResultData(set, nullptr, 0)), '\0');
    EXPECT_FALSE(bytes.empty());
    EXPECT_EQ(ExportResultData(set, bytes.data(), int64_t(bytes.size())), int64_t(bytes.size()));
    return bytes;
}

// "who=3&s=410" of each request, counted.
std::multiset<std::string> valuesOf(const std::vector<ReceivedRequest>& requests) {
    std::multiset<std::string> out;
    for (const ReceivedRequest& r : requests) out.insert(r.target.substr(r.target.find('?') + 1));
    return out;
}

class SharedRun : public ::testing::Test {
protected:
    void SetUp() override {
        SetOutFunc(&m_messages, MessageCapture::sink);
        SetProgressReporter(nullptr, nullptr);
        // User 3 is refused: errors and a second status code to bring together.
        m_server.setHandler([](const ReceivedRequest& r, Responder& out) {
            out.respond(r.target.find("who=3&") != std::string::npos ? 404 : 200, "hello");
        });
    }
    void TearDown() override {
        for (TestSet* set : m_sets) FreeTestSet(set);
        SetOutFunc(nullptr, nullptr);
    }
    TestSet* parsed(const std::string& extra = "") {
        TestSet* set = CreateTestSet();
        m_sets.push_back(set);
        const std::string text =
            "server=127.0.0.1\nport=" + std::to_string(m_server.port()) +
            "\ndelaystart=0\nclients=7\nrequests=2\nreportinfo=0\nsummarytimes=0\n" + extra +
            "[a]\n$uri=/a\nwho=$clid()\ns=$Seq(,10,100)\n";
        EXPECT_EQ(ParseTest(set, "shared", text.c_str()), 1) << m_messages.last();
        return set;
    }
    TestSet* shard(int k, int n) {
        TestSet* set = parsed();
        EXPECT_EQ(SelectUsers(set, k, n), 1);
        EXPECT_EQ(RunTest(set), 1) << m_messages.last();
        return set;
    }

    MessageCapture m_messages;
    TestHttpServer m_server;
    std::vector<TestSet*> m_sets;
};

TEST_F(SharedRun, SharesBroughtTogetherReportAsOneRunOfAllUsers) {
    TestSet* whole = parsed();
    ASSERT_EQ(RunTest(whole), 1);
    const std::string wholeReport = reportOf(whole);
    const auto wholeValues = valuesOf(m_server.requests());
    ASSERT_EQ(wholeValues.size(), 14u);
    EXPECT_EQ(wholeValues.count("who=6&s=611"), 1u);

    TestSet* shards[3] = {shard(0, 3), shard(1, 3), shard(2, 3)};
    std::vector<ReceivedRequest> all = m_server.requests();
    const std::vector<ReceivedRequest> shared(all.begin() + 14, all.end());
    // Every user made its requests once, with the values of the whole run.
    EXPECT_EQ(valuesOf(shared), wholeValues);

    // As `velkrun --merge`: a set that did not run takes every part.
    TestSet* merged = parsed();
    for (TestSet* s : shards)
        ASSERT_EQ(ImportResultData(merged, exported(s).data(), int64_t(exported(s).size())), 1);
    // As rank 0: the first share's set takes the other two.
    for (int k : {1, 2})
        ASSERT_EQ(ImportResultData(shards[0], exported(shards[k]).data(),
                                   int64_t(exported(shards[k]).size())),
                  1);
    const std::string mergedReport = reportOf(merged);
    EXPECT_EQ(reportOf(shards[0]), mergedReport);

    EXPECT_EQ(rowShapes(mergedReport), rowShapes(wholeReport));
    EXPECT_EQ(rowShapes(mergedReport).size(), 14u);
    EXPECT_NE(mergedReport.find("Total 2 errors!!!\nHTTP: 2\n"), std::string::npos) << mergedReport;
    EXPECT_NE(mergedReport.find("Code\tCount\n200\t12\n404\t2\n"), std::string::npos)
        << mergedReport;
    // Every user's results are there, by its global index.
    for (int user = 0; user < 7; ++user) {
        ASSERT_NE(GetResults(merged, user), nullptr) << user;
        const int32_t* row = static_cast<int32_t**>(GetResults(merged, user))[0];
        EXPECT_EQ(row[0] < 0, user == 3) << user;
    }
    // A share's own results hold only its users.
    EXPECT_EQ(GetResults(shards[1], 0), nullptr);
    EXPECT_NE(GetResults(shards[1], 4), nullptr);
}

TEST_F(SharedRun, NodetailsSharesAddTheirFigures) {
    TestSet* parts[2];
    for (int k = 0; k < 2; ++k) {
        parts[k] = parsed("nodetails=1\n");
        SelectUsers(parts[k], k, 2);
        ASSERT_EQ(RunTest(parts[k]), 1);
    }
    TestSet* merged = parsed("nodetails=1\n");
    for (TestSet* p : parts)
        ASSERT_EQ(ImportResultData(merged, exported(p).data(), int64_t(exported(p).size())), 1);
    const auto* record = static_cast<const int32_t*>(GetResults(merged, 0));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record[2], 12);  // successful times of all users: 14 minus user 3's two
    EXPECT_NE(reportOf(merged).find("Total 2 errors!!!"), std::string::npos);
}

TEST_F(SharedRun, TheBarrierHoldsTheStartAndCanCallItOff) {
    struct Barrier {
        int calls = 0;
        int32_t answer = 1;
    } barrier;
    auto hold = [](void* context) -> int32_t {
        auto* b = static_cast<Barrier*>(context);
        ++b->calls;
        return b->answer;
    };
    TestSet* set = parsed();
    SetStartBarrier(set, &barrier, hold);
    barrier.answer = 0;
    EXPECT_EQ(RunTest(set), 0);
    EXPECT_EQ(barrier.calls, 1);
    EXPECT_EQ(m_server.requestCount(), 0);
    // With a ramp-up the barrier comes before the first user.
    TestSet* ramped = parsed("delaystart=1\n");
    SetStartBarrier(ramped, &barrier, hold);
    EXPECT_EQ(RunTest(ramped), 0);
    EXPECT_EQ(barrier.calls, 2);
    EXPECT_EQ(m_server.requestCount(), 0);
}

// Each process counts only its own requests: the test's maxrequests is shared
// out by users, or N processes would send N times as many.
TEST_F(SharedRun, MaxrequestsIsSharedOutByUsers) {
    static int32_t total;
    total = 0;
    SetProgressReporter(nullptr, [](void*, int32_t, int32_t t) { total = t; });
    TestSet* set = parsed("maxrequests=6\n");
    SelectUsers(set, 1, 3);  // users 1 and 4: 2 of 7
    ASSERT_EQ(RunTest(set), 1);
    EXPECT_EQ(total, 2);  // 6 x 2 / 7, rounded up
}

TEST_F(SharedRun, DamagedOrForeignResultsAreRefusedAndChangeNothing) {
    TestSet* part = shard(1, 3);
    const std::string bytes = exported(part);
    TestSet* target = parsed();
    // Every cut is refused, however far it reaches.
    for (size_t n = 0; n < bytes.size(); ++n)
        ASSERT_EQ(ImportResultData(target, bytes.data(), int64_t(n)), 0) << n;
    EXPECT_EQ(GetResults(target, 1), nullptr);

    struct Case {
        const char* what;
        size_t offset;  // of a 32-bit field to overwrite
        int32_t value;
        const char* message;
    } cases[] = {
        {"version", 8, 9, "unknown version"},
        {"clients", 12, 8, "another test"},
        // The shape is compared with the test's before anything is decoded.
        {"iterations far beyond the bytes", 20, 0x7fffffff, "another test"},
        {"result mode", 24, 7, "cut short"},
        {"status codes", 80, 100000, "cut short"},
    };
    for (const Case& c : cases) {
        std::string damaged = bytes;
        std::memcpy(damaged.data() + c.offset, &c.value, 4);
        EXPECT_EQ(ImportResultData(target, damaged.data(), int64_t(damaged.size())), 0) << c.what;
        EXPECT_NE(m_messages.last().find(c.message), std::string::npos)
            << c.what << ": " << m_messages.last();
    }
    TestSet* other = parsed("requests=3\n");
    EXPECT_EQ(ImportResultData(other, bytes.data(), int64_t(bytes.size())), 0);
    EXPECT_NE(m_messages.last().find("another test"), std::string::npos);

    ASSERT_EQ(ImportResultData(target, bytes.data(), int64_t(bytes.size())), 1);
    EXPECT_EQ(ImportResultData(target, bytes.data(), int64_t(bytes.size())), 0);
    EXPECT_NE(m_messages.last().find("user 2 twice"), std::string::npos) << m_messages.last();
    EXPECT_NE(GetResults(target, 1), nullptr);
}

TEST_F(SharedRun, ResponseTimesAndTimelineOfSharesAddUp) {
    TestSet* parts[2] = {shard(0, 2), shard(1, 2)};
    TestSet* merged = parsed();
    VelkLatencyStats stats[2];
    VelkRunTotals totals[2];
    int64_t timelineRequests = 0;
    for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(GetLatencyStats(parts[k], -1, &stats[k]), 1);
        ASSERT_EQ(GetRunTotals(parts[k], &totals[k]), 1);
        VelkTimeline t{};
        ASSERT_EQ(GetTimeline(parts[k], &t), 1);
        for (int32_t i = 0; i < t.length; ++i) timelineRequests += t.points[i].requests;
        const std::string bytes = exported(parts[k]);
        ASSERT_EQ(ImportResultData(merged, bytes.data(), int64_t(bytes.size())), 1)
            << m_messages.last();
    }
    VelkLatencyStats all{};
    ASSERT_EQ(GetLatencyStats(merged, -1, &all), 1);
    EXPECT_EQ(all.count, stats[0].count + stats[1].count);
    EXPECT_EQ(all.count, 12);  // user 3's two requests are HTTP errors
    EXPECT_EQ(all.errors[1], 2);
    EXPECT_EQ(all.minMs, std::min(stats[0].minMs, stats[1].minMs));
    EXPECT_EQ(all.maxMs, std::max(stats[0].maxMs, stats[1].maxMs));
    EXPECT_GE(all.percentilesMs[0], all.minMs);
    EXPECT_LE(all.percentilesMs[4], all.maxMs);
    ASSERT_EQ(GetLatencyStatsCount(merged), 1);

    VelkRunTotals sum{};
    ASSERT_EQ(GetRunTotals(merged, &sum), 1);
    EXPECT_EQ(sum.bytesSent, totals[0].bytesSent + totals[1].bytesSent);
    EXPECT_EQ(sum.bytesReceived, totals[0].bytesReceived + totals[1].bytesReceived);
    VelkTimeline t{};
    ASSERT_EQ(GetTimeline(merged, &t), 1);
    int64_t mergedRequests = 0;
    for (int32_t i = 0; i < t.length; ++i) mergedRequests += t.points[i].requests;
    EXPECT_EQ(mergedRequests, timelineRequests);
}

TEST_F(SharedRun, DamagedResponseTimesOrTimelineAreRefused) {
    TestSet* part = shard(0, 2);
    const std::string bytes = exported(part);
    VelkTimeline t{};
    ASSERT_EQ(GetTimeline(part, &t), 1);
    // The bytes end with the timeline section (tag, length, span, count, points);
    // before it, the last user's block ends with an empty intended-start histogram
    // (count, minimum, maximum, sum, sum of squares, bucket count).
    const size_t section = 4 + 4 + 4 + 4 + 12 * size_t(t.length);
    const size_t sectionsAt = bytes.size() - section - 4;
    const size_t intendedCountAt = sectionsAt - 44;
    struct Case {
        const char* what;
        size_t offset;
        int64_t value;
        size_t width;
        const char* message;
    } cases[] = {
        {"histogram counts that do not add up", intendedCountAt, 5, 8, "damaged"},
        {"a negative timeline count", bytes.size() - 12, -1, 4, "timeline is damaged"},
        {"a timeline span that is no doubling", sectionsAt + 12, 1500, 4, "timeline is damaged"},
    };
    TestSet* target = parsed();
    for (const Case& c : cases) {
        std::string damaged = bytes;
        std::memcpy(damaged.data() + c.offset, &c.value, c.width);
        EXPECT_EQ(ImportResultData(target, damaged.data(), int64_t(damaged.size())), 0) << c.what;
        EXPECT_EQ(GetResults(target, 0), nullptr) << c.what;
        EXPECT_NE(m_messages.last().find(c.message), std::string::npos)
            << c.what << ": " << m_messages.last();
    }
    EXPECT_EQ(ImportResultData(target, bytes.data(), int64_t(bytes.size())), 1)
        << m_messages.last();
}

}  // namespace
}  // namespace velk::test
