// HTTP/2 users in whole runs through the C interface: an abort reaches users
// waiting on their streams at once, and the bandwidth limit paces HTTP/2 bytes
// as it paces HTTP/1.1's.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "common/message_capture.h"
#include "http2/h2_test_server.h"
#include "support/peer_stream.h"
#include "velkcore.h"

namespace velk::test {
namespace {

class Http2Run : public ::testing::Test {
protected:
    void SetUp() override {
        InitKS(0, 0);
        SetOutFunc(&m_messages, &MessageCapture::sink);
    }
    void TearDown() override {
        SetOutFunc(nullptr, nullptr);
        CleanupKS();
    }
    MessageCapture m_messages;
};

TEST_F(Http2Run, AbortEndsUsersWaitingOnSilentStreams) {
    // Takes the request and never answers, until the client goes.
    H2TestServer server({}, [](PeerStream& stream, const std::string&) {
        stream.sendAll(H2TestServer::frame(4, 0, 0, ""), 10000);
        char buffer[4096];
        for (int i = 0; i < 3000; ++i) {
            const int n = stream.receive(buffer, sizeof buffer, 100);
            if (n == 0 || n == -1 || stream.stopSignal().triggered()) return;
        }
    });
    const std::string script = "server=127.0.0.1\nport=" + std::to_string(server.port()) +
                               "\nhttp2=2\ntimeout=300\ndelaystart=0\nclients=3\nrequests=1\n"
                               "reportinfo=0\n[a]\n";
    TestSet* set = CreateTestSet();
    ASSERT_EQ(ParseTest(set, "abort", script.c_str()), 1) << m_messages.last();
    auto run = std::async(std::launch::async, [set] { return RunTest(set); });
    for (int i = 0; i < 400 && server.acceptedConnections() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(server.acceptedConnections(), 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    AbortRun(set);
    // The server would hold the users for the 300 s time-out; the bound only
    // catches a hang.
    ASSERT_EQ(run.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    run.get();
    VelkLiveCounters counters{};
    GetLiveCounters(set, &counters);
    EXPECT_EQ(counters.usersActive, 0);
    FreeTestSet(set);
}

TEST_F(Http2Run, BandwidthLimitPacesTheStreamsBytes) {
    H2TestServer server({}, [](const H2Request&) {
        return H2Response{200, {}, std::string(30000, 'p')};
    });
    // 80,000 bit/s is 10,000 bytes a second: 30,000 bytes take about 3 s.
    const std::string script = "server=127.0.0.1\nport=" + std::to_string(server.port()) +
                               "\nhttp2=2\nmaxspeed=80000\ntimeout=60\nclients=1\nrequests=1\n"
                               "reportinfo=0\n[a]\n";
    TestSet* set = CreateTestSet();
    ASSERT_EQ(ParseTest(set, "paced", script.c_str()), 1) << m_messages.last();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(RunTest(set), 1) << m_messages.last();
    const auto took = std::chrono::steady_clock::now() - started;
    // A lower bound only: an unpaced loopback read takes milliseconds.
    EXPECT_GE(took, std::chrono::milliseconds(1500));
    VelkLiveCounters counters{};
    GetLiveCounters(set, &counters);
    EXPECT_EQ(counters.networkErrors + counters.timeouts + counters.httpErrors, 0);
    FreeTestSet(set);
}

}  // namespace
}  // namespace velk::test
