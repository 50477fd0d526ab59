// Honest times on the event loops, in whole runs against loopback servers: one
// user's heavy work does not stretch the others' pauses or times, a run
// stopped with abortseq=0 finishes its passes without false errors, kept-alive
// connections a server closes are reopened (also under TLS), requests reach
// the port they name, and the time limit ends the ramp-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/message_capture.h"
#include "support/http_text.h"
#include "support/test_http_server.h"
#include "velkcore.h"

namespace velk::test {
namespace {

using Clock = std::chrono::steady_clock;

// With proxyemulation every user says who it is: user 0 is 192.168.1.1.
constexpr const char* kUser0 = "192.168.1.1";

// When each user's requests arrived, by the address it sends.
class Arrivals {
public:
    void note(const ReceivedRequest& req) {
        std::lock_guard lock(m_mutex);
        const std::string who = req.header("X-Forwarded-For");
        m_times[who].push_back(Clock::now());
    }
    // The nine light users have made their ten requests and user 0 its second.
    bool lightDoneAndSecondHeavy() const {
        std::lock_guard lock(m_mutex);
        int light = 0, heavy = 0;
        for (const auto& [who, times] : m_times)
            (who == kUser0 ? heavy : light) += int(times.size());
        return light >= 90 && heavy >= 2;
    }
    std::map<std::string, std::vector<Clock::time_point>> times() const {
        std::lock_guard lock(m_mutex);
        return m_times;
    }

private:
    mutable std::mutex m_mutex;
    std::map<std::string, std::vector<Clock::time_point>> m_times;
};

double median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

class FairRun : public ::testing::Test {
protected:
    void SetUp() override {
        InitKS(0, 0);
        SetOutFunc(&m_messages, MessageCapture::sink);
        SetProgressReporter(nullptr, nullptr);
        m_set = CreateTestSet();
    }
    void TearDown() override {
        FreeTestSet(m_set);
        SetOutFunc(nullptr, nullptr);
        CleanupKS();
    }
    void renew() {
        FreeTestSet(m_set);
        m_set = CreateTestSet();
    }
    bool parse(const std::string& script, uint16_t port) {
        const std::string head = "server=127.0.0.1\nport=" + std::to_string(port) + "\n";
        return ParseTest(m_set, "fair", (head + script).c_str()) == 1;
    }
    int32_t cell(int user, int position, int iteration) {
        auto** rows = static_cast<int32_t**>(GetResults(m_set, user));
        return rows ? rows[position][iteration] : -9999;
    }
    // Every recorded result of the run: times (0 or more) and error codes.
    std::vector<int32_t> cells(int users, int positions, int iterations) {
        std::vector<int32_t> all;
        for (int u = 0; u < users; ++u)
            for (int k = 0; k < positions; ++k)
                for (int i = 0; i < iterations; ++i) all.push_back(cell(u, k, i));
        return all;
    }

    MessageCapture m_messages;
    TestSet* m_set = nullptr;
};

TEST_F(FairRun, OneUsersHeavyCheckDoesNotHoldUpTheOthersOnItsLoop) {
    // The audit's setup: user 0 gets a body on which the $fail pattern works
    // about as long as its work limit allows; the others get two bytes.
    for (int32_t loops : {1, 2}) {
        SCOPED_TRACE(std::to_string(loops) + " loop(s)");
        renew();
        Arrivals arrivals;
        TestHttpServer server;
        server.setHandler([&arrivals](const ReceivedRequest& req, Responder& r) {
            arrivals.note(req);
            r.respond(200, req.header("X-Forwarded-For") == kUser0 ? std::string(2000, 'x') : "xx");
        });
        ASSERT_TRUE(
            parse("clients=10\nrequests=10\ndelaystart=0\ndelay=100\nkeepalive=1\nround=0\n"
                  "proxyemulation=1\n[a]\n$fail=/(x+x+)+y/\n",
                  server.port()));
        ASSERT_EQ(SetLoopThreads(m_set, loops), 1);
        // Once the light users are done and user 0 has made its second
        // request, its remaining checks (seconds each under a sanitizer) would
        // only make the test long: a second later the run is stopped.
        std::thread stopper([&] {
            for (int i = 0; i < 6000 && !arrivals.lightDoneAndSecondHeavy(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::this_thread::sleep_for(std::chrono::seconds(1));
            AbortRun(m_set);
        });
        const int32_t ran = RunTest(m_set);
        stopper.join();
        ASSERT_EQ(ran, 1);

        std::vector<double> gapsMs, timesMs;
        for (const auto& [who, times] : arrivals.times()) {
            if (who == kUser0) continue;
            for (size_t i = 1; i < times.size(); ++i)
                gapsMs.push_back(
                    std::chrono::duration<double, std::milli>(times[i] - times[i - 1]).count());
        }
        for (int u = 1; u < 10; ++u)
            for (int i = 0; i < 10; ++i)
                if (int32_t t = cell(u, 0, i); t >= 0) timesMs.push_back(t / 1000.0);
        EXPECT_EQ(cell(0, 0, 0), VELK_RESULT_FAIL);  // the heavy check ran
        ASSERT_EQ(timesMs.size(), 90u);
        // Without turns the others waited a whole heavy check (a median gap of
        // over 300 ms and times of over 300 ms); now they keep their pauses.
        EXPECT_LT(median(gapsMs), 180) << "median gap between a light user's requests";
        EXPECT_GE(median(gapsMs), 99);
        EXPECT_LT(median(timesMs), 60) << "median response time of the light users";
        // Order: while user 0's first check runs (up to its second request),
        // every light user goes on with its requests, at least two of them,
        // unless it has made all ten by then (a slow machine's checks are long).
        const auto all = arrivals.times();
        const std::vector<Clock::time_point>& heavy = all.at(kUser0);
        ASSERT_GE(heavy.size(), 2u);
        for (const auto& [who, times] : all) {
            if (who == kUser0) continue;
            const auto during = std::count_if(times.begin(), times.end(),
                                              [&](auto t) { return t > heavy[0] && t < heavy[1]; });
            const auto before =
                std::count_if(times.begin(), times.end(), [&](auto t) { return t < heavy[1]; });
            EXPECT_TRUE(during >= 2 || before == 10) << who << ": " << during << " requests";
        }

        ASSERT_EQ(GetLoopLagCount(m_set), loops);
        VelkLoopLag lag{};
        ASSERT_EQ(GetLoopLag(m_set, -1, &lag), 1);
        EXPECT_GT(lag.samples, 100);
        EXPECT_LE(lag.p50Ms, lag.p99Ms);
        EXPECT_LE(lag.p99Ms, lag.maxMs);
        std::printf(
            "%d loop(s): light users' median gap %.1f ms, median time %.2f ms, loop lag "
            "p99 %.2f ms, max %.2f ms\n",
            loops, median(gapsMs), median(timesMs), lag.p99Ms, lag.maxMs);
    }
}

TEST_F(FairRun, LoopLagIsReportedOnlyForRunsOnLoops) {
    TestHttpServer server;
    ASSERT_TRUE(parse("clients=2\nrequests=3\ndelaystart=0\nkeepalive=1\n[a]\n", server.port()));
    ASSERT_EQ(GetLoopLagCount(m_set), 0);  // not run yet
    ASSERT_EQ(RunTest(m_set), 1);
    ASSERT_GE(GetLoopLagCount(m_set), 1);
    VelkLoopLag lag{};
    EXPECT_EQ(GetLoopLag(m_set, 0, &lag), 1);
    EXPECT_EQ(GetLoopLag(m_set, 99, &lag), 0);
    EXPECT_NE(m_messages.last().find("There is no event loop 99"), std::string::npos);
    // A light run is on time, unless the machine held the loop up: either way
    // the answer and the text agree.
    char warning[512] = "x";
    const int32_t warned = GetLagWarning(m_set, warning, sizeof warning);
    EXPECT_EQ(warned != 0,
              std::string(warning).rfind("Warning: the load generator was busy", 0) == 0)
        << warning;
    EXPECT_EQ(warned == 0, warning[0] == '\0');
    EXPECT_EQ(GetLagWarning(m_set, warning, 1), warned);  // cut to the room given
    EXPECT_STREQ(warning, "");
}

TEST_F(FairRun, AbortSeqZeroFinishesThePassWithoutFalseErrors) {
    // The audit's run: the limit falls inside a pass, during a pause.
    TestHttpServer server;
    ASSERT_TRUE(
        parse("clients=2\nrequests=100\ndelaystart=0\ndelay=700\nmaxtime=3\nabortseq=0\n"
              "keepalive=1\n[r1]\n[r2]\n[r3]\n[r4]\n[r5]\n",
              server.port()));
    const auto start = Clock::now();
    ASSERT_EQ(RunTest(m_set), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(60));
    int fullPasses = 0;
    for (int u = 0; u < 2; ++u) {
        for (int i = 0; i < 100; ++i) {
            int made = 0, notRun = 0;
            for (int k = 0; k < 5; ++k) {
                const int32_t c = cell(u, k, i);
                EXPECT_TRUE(c >= 0 || c == VELK_RESULT_NOT_RUN)
                    << "user " << u << " pass " << i << " entry " << k << ": " << c;
                (c >= 0 ? made : notRun) += 1;
            }
            // A pass is made whole or not at all.
            EXPECT_TRUE(made == 5 || notRun == 5) << "user " << u << " pass " << i;
            fullPasses += made == 5;
        }
    }
    EXPECT_GE(fullPasses, 2);
    EXPECT_EQ(server.requestCount(), fullPasses * 5);  // nothing sent but what is recorded
}

TEST_F(FairRun, KeptAliveConnectionsTheServerClosesAreReopened) {
    for (bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "TLS" : "plain");
        renew();
        TestHttpServer server({.tls = tls});
        // Closes every connection after its third answer, without saying so.
        server.setHandler([](const ReceivedRequest& req, Responder& r) {
            r.respond(200, "ok");
            if (req.onConnection == 2) r.close();
        });
        ASSERT_TRUE(parse(std::string(tls ? "secure=1\n" : "") +
                              "clients=2\nrequests=15\ndelaystart=0\nkeepalive=1\n[a]\n",
                          server.port()));
        ASSERT_EQ(RunTest(m_set), 1);
        for (int32_t c : cells(2, 1, 15)) EXPECT_GE(c, 0);
        EXPECT_EQ(server.requestCount(), 30);
        EXPECT_GE(server.acceptedConnections(), 10);
    }
}

TEST_F(FairRun, RequestsReachThePortTheyNameWhileOtherUsersMoveTheTarget) {
    TestHttpServer main, other;
    ASSERT_TRUE(
        parse("clients=6\nrequests=10\ndelaystart=0\nkeepalive=1\n[a]\n$uri=/a\n[b]\n"
              "$uri=/b\n$port=" +
                  std::to_string(other.port()) + "\n",
              main.port()));
    ASSERT_EQ(SetLoopThreads(m_set, 1), 1);
    ASSERT_EQ(RunTest(m_set), 1);
    std::set<std::string> onMain, onOther;
    for (const ReceivedRequest& r : main.requests()) onMain.insert(r.target);
    for (const ReceivedRequest& r : other.requests()) onOther.insert(r.target);
    EXPECT_EQ(onMain, std::set<std::string>{"/a"});
    EXPECT_EQ(onOther, std::set<std::string>{"/b"});
    EXPECT_EQ(main.requestCount(), 60);
    EXPECT_EQ(other.requestCount(), 60);
    for (int32_t c : cells(6, 2, 10)) EXPECT_GE(c, 0);
}

TEST_F(FairRun, TheTimeLimitEndsTheRampUp) {
    Arrivals arrivals;
    TestHttpServer server;
    server.setHandler([&arrivals](const ReceivedRequest& req, Responder& r) {
        arrivals.note(req);
        r.respond(200, "ok");
    });
    // Users would start at 0, 1.5, 3 and 4.5 s; the limit is reached at 2 s.
    ASSERT_TRUE(
        parse("clients=4\nrequests=1000\ndelaystart=1500\ndelay=50\nmaxtime=1\n"
              "keepalive=1\nproxyemulation=1\n[a]\n",
              server.port()));
    ASSERT_EQ(RunTest(m_set), 1);
    EXPECT_GE(cell(0, 0, 0), 0);
    EXPECT_EQ(cell(2, 0, 0), VELK_RESULT_NOT_RUN);
    EXPECT_EQ(cell(3, 0, 0), VELK_RESULT_NOT_RUN);
    EXPECT_LE(arrivals.times().size(), 2u);
}

TEST_F(FairRun, RoundingFinerThanAMicrosecondIsRefused) {
    struct Case {
        const char* round;
        int32_t ran;
    };
    for (const Case& c : {Case{"0.0005", 0}, Case{"0.001", 1}, Case{"0", 1}, Case{"-1", 1}}) {
        SCOPED_TRACE(c.round);
        renew();
        m_messages.clear();
        TestHttpServer server;
        ASSERT_TRUE(parse(
            std::string("round=") + c.round + "\ndelaystart=0\nclients=1\n" + "requests=1\n[a]\n",
            server.port()));
        EXPECT_EQ(RunTest(m_set), c.ran);
        if (c.ran == 0) {
            EXPECT_NE(m_messages.last().find("round=0.0005 is below 0.001 ms"), std::string::npos)
                << m_messages.last();
            EXPECT_EQ(server.requestCount(), 0);
        }
    }
}

}  // namespace
}  // namespace velk::test
