// Whole runs through the C interface against a loopback server.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <tuple>

#include "common/message_capture.h"
#include "common/temp_dir.h"
#include "support/http_text.h"
#include "support/test_http_server.h"
#include "velkcore.h"

namespace velk::test {
namespace {

struct Progress {
    std::mutex mutex;
    std::vector<std::pair<int32_t, int32_t>> calls;
    static void sink(void* context, int32_t made, int32_t total) {
        auto* self = static_cast<Progress*>(context);
        std::lock_guard lock(self->mutex);
        self->calls.emplace_back(made, total);
    }
    std::pair<int32_t, int32_t> last() {
        std::lock_guard lock(mutex);
        return calls.empty() ? std::pair<int32_t, int32_t>{-1, -1} : calls.back();
    }
};

class RunTestFixture : public ::testing::Test {
protected:
    void SetUp() override {
        InitKS(0, 0);
        SetOutFunc(&m_messages, MessageCapture::sink);
        SetProgressReporter(&m_progress, Progress::sink);
        m_set = CreateTestSet();
    }
    void TearDown() override {
        FreeTestSet(m_set);
        SetOutFunc(nullptr, nullptr);
        SetProgressReporter(nullptr, nullptr);
        CleanupKS();
    }

    bool parse(const std::string& script, uint16_t port = 0) {
        const std::string head =
            "server=127.0.0.1\nport=" + std::to_string(port ? port : m_server.port()) +
            "\ndelaystart=0\n";
        return ParseTest(m_set, "run", (head + script).c_str()) == 1;
    }
    int32_t cell(int user, int position, int iteration) {
        auto** rows = static_cast<int32_t**>(GetResults(m_set, user));
        return rows ? rows[position][iteration] : -9999;
    }

    MessageCapture m_messages;
    Progress m_progress;
    TestHttpServer m_server;
    TestSet* m_set = nullptr;
};

TEST_F(RunTestFixture, EveryUserPlaysEveryIterationAndProgressReachesTheTotal) {
    ASSERT_TRUE(parse("clients=3\nrequests=4\nkeepalive=1\n[home]\n$uri=/\n[page]\n$uri=/page\n"));
    ASSERT_EQ(RunTest(m_set), 1);
    EXPECT_EQ(m_server.requestCount(), 3 * 4 * 2);
    EXPECT_EQ(m_progress.last(), std::make_pair(24, 24));
    for (int u = 0; u < 3; ++u)
        for (int p = 0; p < 2; ++p)
            for (int i = 0; i < 4; ++i) EXPECT_GE(cell(u, p, i), 0) << u << "/" << p << "/" << i;
    EXPECT_EQ(GetResults(m_set, 3), nullptr);
    // Keep-alive: one connection per user.
    EXPECT_EQ(m_server.acceptedConnections(), 3);
}

TEST_F(RunTestFixture, UndefinedRequestEmptySequenceOrNoLogDirectoryStartsNothing) {
    // Refused as the script is read, so neither a check nor a run goes on.
    EXPECT_FALSE(parse("[a]\n[testseq]\na\nmissing\n"));
    EXPECT_EQ(m_messages.last(), "run:7: Request missing not found!");
    EXPECT_EQ(RunTest(m_set), 0);
    EXPECT_EQ(m_server.requestCount(), 0);

    // Users would run without the logs asked for: refused before anyone starts.
    TestSet* noLogs = CreateTestSet();
    ASSERT_EQ(ParseTest(noLogs, nullptr, "log=1\nlogdir=/nonexistent/velk-logs/\n[a]\n"), 1);
    EXPECT_EQ(RunTest(noLogs), 0);
    EXPECT_EQ(m_messages.last(), "Error: the log directory /nonexistent/velk-logs does not exist!");
    FreeTestSet(noLogs);
    EXPECT_EQ(m_server.requestCount(), 0);

    TestSet* empty = CreateTestSet();
    ASSERT_EQ(ParseTest(empty, nullptr, "clients=2\n"), 1);
    EXPECT_EQ(RunTest(empty), 0);
    EXPECT_EQ(m_messages.last(), "Error: empty test sequence!");
    FreeTestSet(empty);
}

TEST_F(RunTestFixture, ErrorsAreRecordedByClass) {
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        if (req.target == "/missing")
            r.respond(404, "no");
        else
            r.respond(200, "ok");
    });
    ASSERT_TRUE(
        parse("clients=2\nrequests=2\n[ok]\n[missing]\n$uri=/"
              "missing\n[nohost]\n$server=no-such-host.invalid\n"));
    ASSERT_EQ(RunTest(m_set), 1);
    for (int u = 0; u < 2; ++u)
        for (int i = 0; i < 2; ++i) {
            EXPECT_GE(cell(u, 0, i), 0);
            EXPECT_EQ(cell(u, 1, i), -2);
            EXPECT_EQ(cell(u, 2, i), -1);
        }
}

TEST_F(RunTestFixture, IgnoreErrorsOffEndsThePassButCountsItsEntries) {
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        r.respond(req.target == "/bad" ? 500 : 200, "x");
    });
    ASSERT_TRUE(parse("ignoreerrors=0\nrequests=3\n[a]\n[bad]\n$uri=/bad\n[c]\n[d]\n[e]\n"));
    ASSERT_EQ(RunTest(m_set), 1);
    EXPECT_EQ(m_server.requestCount(), 3 * 2);
    EXPECT_EQ(m_progress.last(), std::make_pair(15, 15));
    EXPECT_EQ(cell(0, 1, 0), -2);
    EXPECT_EQ(cell(0, 2, 0), -255);
}

// A host reads the live errors and then the request count to show the errors'
// share; a user that pauses after a failed request must not be caught with its
// error counted and its request not.
TEST_F(RunTestFixture, LiveErrorsNeverOutnumberTheRequestsMadeAtTheirMoment) {
    m_server.setHandler([](const ReceivedRequest&, Responder& r) { r.respond(500, "x"); });
    for (const char* ignoreErrors : {"1", "0"}) {
        SCOPED_TRACE(ignoreErrors);
        FreeTestSet(m_set);
        m_set = CreateTestSet();
        ASSERT_TRUE(parse(std::string("clients=2\nrequests=2\nignoreerrors=") + ignoreErrors +
                          "\n[bad]\n$delay=300\n[after]\n"));
        std::atomic<bool> done{false};
        std::thread run([&] {
            RunTest(m_set);
            done = true;
        });
        int withErrors = 0;
        std::string outnumbered;
        for (int i = 0; i < 2000 && !done; ++i) {
            VelkLiveCounters counters{};
            VelkLiveFigures figures{};
            GetLiveCounters(m_set, &counters);
            GetLiveFigures(m_set, &figures);
            const int64_t errors = counters.networkErrors + counters.httpErrors +
                                   counters.failedChecks + counters.timeouts;
            if (errors > figures.requestsMade && outnumbered.empty())
                outnumbered = std::to_string(errors) + " errors, " +
                              std::to_string(figures.requestsMade) + " requests";
            if (errors > 0) ++withErrors;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        run.join();
        EXPECT_EQ(outnumbered, "");
        EXPECT_GT(withErrors, 0);
    }
}

TEST_F(RunTestFixture, AbortRunStopsUsersAndLeavesUnrunCells) {
    m_server.setHandler([](const ReceivedRequest&, Responder& r) {
        r.pause(20);
        r.respond(200, "slow");
    });
    ASSERT_TRUE(parse("clients=4\nrequests=100000\nkeepalive=1\n[a]\n"));
    std::thread aborter([this] {
        m_server.waitForRequests(8, 10000);
        AbortRun(m_set);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunTest(m_set), 1);
    aborter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_EQ(cell(0, 0, 99999), -255);
    EXPECT_EQ(AbortRun(m_set), 1);  // the flag stays set until the next run
}

TEST_F(RunTestFixture, MaxTimeEndsTheRunWhenItsSecondsHavePassed) {
    m_server.setHandler([](const ReceivedRequest&, Responder& r) {
        r.pause(50);
        r.respond(200, "x");
    });
    for (const char* extra : {"", "nowait=1\n"}) {
        SCOPED_TRACE(extra);
        FreeTestSet(m_set);
        m_set = CreateTestSet();
        ASSERT_TRUE(
            parse(std::string("maxtime=2\nrequests=100000\nkeepalive=1\n") + extra + "[a]\n"));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(RunTest(m_set), 1);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, std::chrono::seconds(2));
        EXPECT_LT(took, std::chrono::milliseconds(2500));
    }
}

TEST_F(RunTestFixture, MaxRequestsBoundsTheRunAcrossUsers) {
    ASSERT_TRUE(parse("clients=4\nrequests=1000\nmaxrequests=10\nkeepalive=1\n[a]\n"));
    EXPECT_EQ(RunTest(m_set), 1);
    // Each user may have one request under way when the limit is passed.
    EXPECT_GE(m_server.requestCount(), 11);
    EXPECT_LE(m_server.requestCount(), 10 + 4);
    EXPECT_EQ(m_progress.last().second, 10);
}

TEST_F(RunTestFixture, NoDetailsAggregatesPerPosition) {
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        if (req.target == "/slow") r.pause(30);
        r.respond(200, "x");
    });
    ASSERT_TRUE(parse("nodetails=1\nround=0\nclients=2\nrequests=3\n[fast]\n[slow]\n$uri=/slow\n"));
    ASSERT_EQ(RunTest(m_set), 1);
    auto* records = static_cast<int32_t*>(GetResults(m_set, 0));
    ASSERT_NE(records, nullptr);
    // minimum, sum, count, maximum per position
    EXPECT_EQ(records[2], 6);
    EXPECT_EQ(records[6], 6);
    EXPECT_GE(records[4], 30000);
    EXPECT_LE(records[4], records[7]);
    EXPECT_LE(records[0], records[3]);
    TestInfo info{};
    GetInfo(m_set, &info);
    EXPECT_EQ(info.nodetails, 1);
}

TEST_F(RunTestFixture, RampUpStartsOneUserEveryDelay) {
    std::mutex mutex;
    std::vector<std::chrono::steady_clock::time_point> firsts;
    m_server.setHandler([&](const ReceivedRequest& req, Responder& r) {
        if (req.onConnection == 0) {
            std::lock_guard lock(mutex);
            firsts.push_back(std::chrono::steady_clock::now());
        }
        r.respond(200, "x");
    });
    ASSERT_TRUE(parse("clients=5\nkeepalive=1\n[a]\n"));
    ASSERT_EQ(SetProperty(m_set, "delaystart=200"), 1);
    ASSERT_EQ(RunTest(m_set), 1);
    ASSERT_EQ(firsts.size(), 5u);
    // The last user starts at least about four delays after the first.
    EXPECT_GE(firsts.back() - firsts.front(), std::chrono::milliseconds(700));
}

TEST_F(RunTestFixture, CleanThenRunAgainWithMoreUsers) {
    ASSERT_TRUE(parse("clients=1\nrequests=2\n[a]\n"));
    ASSERT_EQ(RunTest(m_set), 1);
    EXPECT_EQ(m_server.requestCount(), 2);
    // A second run without cleaning is refused rather than mixing the results.
    EXPECT_EQ(RunTest(m_set), 0);
    ASSERT_EQ(CleanKS(m_set), 1);
    EXPECT_EQ(GetResults(m_set, 0), nullptr);
    ASSERT_EQ(ParseGeneralParam(m_set, "clients", "3"), 1);
    ASSERT_EQ(RunTest(m_set), 1);
    EXPECT_EQ(m_server.requestCount(), 2 + 6);
    EXPECT_GE(cell(2, 0, 1), 0);
}

TEST_F(RunTestFixture, TwoHundredUsersAgainstOneServer) {
    ASSERT_TRUE(parse("clients=200\nrequests=3\nkeepalive=1\n[a]\n[b]\n"));
    ASSERT_EQ(RunTest(m_set), 1);
    EXPECT_EQ(m_server.requestCount(), 200 * 3 * 2);
    for (int u = 0; u < 200; ++u)
        for (int i = 0; i < 3; ++i) ASSERT_GE(cell(u, 1, i), 0) << u;
}

int countEntries(const char* dir) {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

int threadsWithPolicy(int policy) {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        const pid_t tid = pid_t(std::stol(entry.path().filename().string()));
        if (sched_getscheduler(tid) == policy) ++n;
    }
    return n;
}

TEST_F(RunTestFixture, UsersRunAsBatchWorkAndTheCallerKeepsItsScheduling) {
    bool allowed = false;
    std::thread([&allowed] {
        sched_param none{};
        allowed = sched_setscheduler(0, SCHED_BATCH, &none) == 0;
    }).join();
    if (!allowed) GTEST_SKIP() << "this system refuses batch scheduling";
    // Counted while a user waits for its answer: its thread is alive then.
    std::mutex mutex;
    int fewest = 1 << 20, most = 0;
    m_server.setHandler([&](const ReceivedRequest&, Responder& r) {
        const int batch = threadsWithPolicy(SCHED_BATCH);
        {
            std::lock_guard lock(mutex);
            fewest = std::min(fewest, batch);
            most = std::max(most, batch);
        }
        r.respond(200, "ok");
    });
    ASSERT_TRUE(parse("clients=2\nrequests=3\nkeepalive=1\n[a]\n"));
    ASSERT_EQ(RunTest(m_set), 1) << m_messages.last();
    EXPECT_GE(fewest, 1);
    EXPECT_LE(most, 2);  // only the users: not the server's threads nor the driver
    EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);
    EXPECT_EQ(threadsWithPolicy(SCHED_BATCH), 0);
}

TEST_F(RunTestFixture, ThousandUsersRunTwiceAndLeaveNoThreadsOrDescriptors) {
    // Users and the server share this process: both ends of 1000 connections.
    rlimit files{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
    if (files.rlim_max != RLIM_INFINITY && files.rlim_max < 2200)
        GTEST_SKIP() << "needs 2200 open files";
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    ASSERT_TRUE(parse("clients=1000\nrequests=2\nkeepalive=1\n[a]\n"));
    const int fdsBefore = countEntries("/proc/self/fd");
    const int threadsBefore = countEntries("/proc/self/task");
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(RunTest(m_set), 1) << m_messages.last();
        for (int u = 0; u < 1000; u += 111) EXPECT_GE(cell(u, 0, 1), 0) << u;
        ASSERT_EQ(CleanKS(m_set), 1);
    }
    EXPECT_EQ(m_server.requestCount(), 2 * 1000 * 2);
    m_server.stop();  // its connections and threads end too
    EXPECT_LE(countEntries("/proc/self/fd"), fdsBefore);
    EXPECT_LE(countEntries("/proc/self/task"), threadsBefore);
}

TEST_F(RunTestFixture, UnresolvableServerEndsUsersBeforeAnyRequest) {
    ASSERT_EQ(ParseTest(m_set, nullptr, "server=no-such-host.invalid\nclients=2\n[a]\n"), 1);
    EXPECT_EQ(RunTest(m_set), 0);
    EXPECT_EQ(static_cast<int32_t**>(GetResults(m_set, 0))[0][0], -255);
    char host[64];
    EXPECT_EQ(GetUnresolvedHost(m_set, host, sizeof host), 1);
    EXPECT_STREQ(host, "no-such-host.invalid");
}

// A user whose connection cannot be set up says why in its log, once: the
// connection's own line when it has one, else the general one.
TEST_F(RunTestFixture, AUserWhoseConnectionCannotBeSetUpLogsWhyOnce) {
    struct Case {
        const char* options;
        const char* line;
        bool generalLine;
    };
    const Case cases[] = {
        {"server=no-such-host.invalid\n", "ERROR: Cannot init sockets\r\n", true},
        {"server=127.0.0.1\nsecure=1\nsslver=0\n", "SSL 2.0 is not supported; use sslver=1\r\n",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        TempDir logs;
        TestSet* set = CreateTestSet();
        const std::string script = std::string(c.options) +
                                   "delaystart=0\nlog=1\nlogdir=" + logs.path().string() +
                                   "/\n[a]\n";
        ASSERT_EQ(ParseTest(set, "run", script.c_str()), 1);
        EXPECT_EQ(RunTest(set), 0);
        FreeTestSet(set);
        std::string log;
        for (const auto& entry : std::filesystem::directory_iterator(logs.path())) {
            std::ifstream in(entry.path());
            log.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        EXPECT_NE(log.find(c.line), std::string::npos) << log;
        EXPECT_EQ(log.find("ERROR: Cannot init sockets") != std::string::npos, c.generalLine)
            << log;
    }
}

TEST_F(RunTestFixture, SequenceArgumentsApplyToOneRunOfTheEntry) {
    ASSERT_TRUE(
        parse("[a]\n$uri=/a\nq=1\n[testseq]\na(q=2,\"extra=x%2cy\",$uri=/other)\na\n"
              "a($method=POST,$bogus=1,late=1)\n"));
    ASSERT_EQ(RunTest(m_set), 1);
    auto received = m_server.requests();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].target, "/other?q=2&extra=x,y");
    EXPECT_EQ(received[1].target, "/a?q=1");  // everything is back after the entry
    // An unknown key stops the rest of the arguments.
    EXPECT_EQ(received[2].method, "POST");
    EXPECT_EQ(received[2].body, "q=1");
}

TEST_F(RunTestFixture, UserLogsShowEveryPassAndExchange) {
    TempDir logs;
    ASSERT_TRUE(
        parse("log=1\nlogdir=" + logs.path().string() + "/\nrequests=3\nclients=2\n[page]\n"));
    ASSERT_EQ(RunTest(m_set), 1);
    std::ifstream in(logs.file("run-2x3-user2.log"));
    std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (int pass = 1; pass <= 3; ++pass)
        EXPECT_NE(log.find("----- [TestSeq]: page(" + std::to_string(pass) + ") -----\r\n"),
                  std::string::npos)
            << log;
    EXPECT_NE(log.find("Request:\r\nGET / HTTP/1.1\r\n"), std::string::npos);
    EXPECT_NE(log.find("Response:\r\nHTTP/1.1 200"), std::string::npos);
}

TEST_F(RunTestFixture, PausesFollowTheDelaysOfEachRequest) {
    ASSERT_TRUE(parse("requests=3\n[a]\n$delay=150-160\n"));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunTest(m_set), 1);
    // Three pauses of at least 150 ms; only a lower bound, a slow machine takes longer.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(450));
}

TEST_F(RunTestFixture, ReportOfARunCountsEveryResult) {
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        if (req.target == "/missing")
            r.respond(404, "no");
        else
            r.respond(200, "ok");
    });
    ASSERT_TRUE(parse(
        "clients=2\nrequests=2\nreportinfo=0\nprojectname=shop\n[ok]\n[missing]\n$uri=/missing\n"));
    ASSERT_EQ(RunTest(m_set), 1);
    std::string report;
    VelkSummary summary{};
    ASSERT_EQ(SaveResults(
                  m_set, &report,
                  [](void* sink, const char* text) { *static_cast<std::string*>(sink) += text; },
                  &summary),
              0);
    EXPECT_NE(report.find("Request name:\t\t\tok\tmissing\n"), std::string::npos) << report;
    EXPECT_NE(report.find("\nTotal 4 errors!!!\nHTTP: 4\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Code\tCount\n200\t4\n404\t4\n"), std::string::npos) << report;
    EXPECT_NE(report.find("002/00002\t"), std::string::npos) << report;
    EXPECT_NE(report.find("HTTPERR"), std::string::npos);
    EXPECT_NE(report.find("WARNING: approximation used!"), std::string::npos);  // a run this short
    EXPECT_EQ(summary.totalRequests, 8);
    EXPECT_EQ(summary.totalErrors, 4);
    // The totals carry the rate as the report prints it, and its approximation.
    VelkRunTotals totals{};
    ASSERT_EQ(GetRunTotals(m_set, &totals), 1);
    char rate[64];
    std::snprintf(rate, sizeof rate, "Total average requests per second:\t%.2f\n",
                  totals.httpRequestsPerSecond);
    EXPECT_NE(report.find(rate), std::string::npos) << rate << report;
    EXPECT_EQ(totals.httpRateApproximated, 1);
    // Saving again gives the same text.
    std::string again;
    SaveResults(
        m_set, &again,
        [](void* sink, const char* text) { *static_cast<std::string*>(sink) += text; }, nullptr);
    EXPECT_EQ(again, report);
}

TEST_F(RunTestFixture, AnExchangeObserverIsToldEachRequestsLastAnswer) {
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        if (req.target == "/a")
            r.respond(302, "", "Location: /b?x=1\r\n");
        else if (req.target == "/missing")
            r.respond(404, "gone");
        else
            r.respond(200, "<title>B</title>");
    });
    struct Seen {
        std::mutex mutex;
        std::vector<std::tuple<std::string, int32_t, int32_t, std::string, std::string, bool>> all;
    } seen;
    SetExchangeObserver(m_set, &seen, [](void* context, const VelkExchange* e) {
        auto& self = *static_cast<Seen*>(context);
        std::lock_guard lock(self.mutex);
        self.all.emplace_back(e->name, e->iteration, e->status, e->location,
                              std::string(e->body, size_t(e->bodySize)), e->result >= 0);
    });
    ASSERT_TRUE(parse("requests=2\nignoreerrors=1\n[a]\n$uri=/a\n[missing]\n$uri=/missing\n"));
    ASSERT_EQ(RunTest(m_set), 1);
    using E = std::tuple<std::string, int32_t, int32_t, std::string, std::string, bool>;
    const std::vector<E> expected{{"a", 1, 200, "/b?x=1", "<title>B</title>", true},
                                  {"missing", 1, 404, "", "gone", false},
                                  {"a", 2, 200, "/b?x=1", "<title>B</title>", true},
                                  {"missing", 2, 404, "", "gone", false}};
    EXPECT_EQ(seen.all, expected);
}

}  // namespace
}  // namespace velk::test
