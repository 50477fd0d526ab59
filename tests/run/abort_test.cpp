// Once a run is stopped, no server holds it: every user leaves its current wait
// within about a second however the peer dribbles or stalls, and the run ends as
// an aborted run does.  Also how a secure test's default port and an unavailable
// protocol show in a run.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "common/message_capture.h"
#include "support/http_text.h"
#include "support/test_http_server.h"
#include "support/test_proxy.h"
#include "velkcore.h"

namespace velk::test {
namespace {

// Sends each piece with a pause between, while the client takes them.
void dribble(Responder& r, const std::string& first, const std::string& piece, int delayMs) {
    if (!r.send(first)) return;
    for (int i = 0; i < 600 && r.pause(delayMs) && r.send(piece); ++i) {
    }
}

struct HostileCase {
    const char* name;
    std::string script;  // general lines and requests after server, port and timeout
    TestHttpServer::Handler handler;
    TestHttpServer::AcceptHandler onAccept;
    bool silentProxy = false;
};

class AbortRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetOutFunc(&m_messages, MessageCapture::sink);
        SetProgressReporter(nullptr, nullptr);
    }
    void TearDown() override { SetOutFunc(nullptr, nullptr); }
    MessageCapture m_messages;
};

TEST_F(AbortRunTest, EveryUserLeavesItsWaitWhateverThePeerDoes) {
    const HostileCase cases[] = {
        {"header a byte a second", "[a]\n",
         [](const ReceivedRequest&, Responder& r) {
             r.trickle(httpResponse(200, std::string(500, 'x')), 1, 1000);
         },
         nullptr},
        {"chunked body a chunk a second", "[a]\n",
         [](const ReceivedRequest&, Responder& r) {
             dribble(r, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "1\r\nx\r\n",
                     1000);
         },
         nullptr},
        {"endless 100 Continue", "[a]\n",
         [](const ReceivedRequest&, Responder& r) {
             dribble(r, "HTTP/1.1 100 Continue\r\n\r\n", "HTTP/1.1 100 Continue\r\n\r\n", 500);
         },
         nullptr},
        {"bandwidth limit on a large body", "maxspeed=80\n[a]\n",
         [](const ReceivedRequest&, Responder& r) { r.respond(200, std::string(100000, 'x')); },
         nullptr},
        {"TLS handshake never answered", "[a]\n$secure=2\n", nullptr,
         [](Responder& r) { r.stall(); }, false},
        {"silent CONNECT proxy", "[a]\n", nullptr, nullptr, true},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestHttpServer server;
        if (c.handler) server.setHandler(c.handler);
        if (c.onAccept) server.setAcceptHandler(c.onAccept);
        std::unique_ptr<TestProxy> proxy;
        std::string script = "server=127.0.0.1\nport=" + std::to_string(server.port()) +
                             "\ntimeout=300\ndelaystart=0\nclients=2\nrequests=1\nreportinfo=0\n";
        if (c.silentProxy) {
            TestProxy::Options o = TestProxy::options(TestProxy::Kind::kConnect, server.port());
            o.silent = true;
            proxy = std::make_unique<TestProxy>(o);
            script += "proxy=httpc:127.0.0.1:" + std::to_string(proxy->port()) + "\n";
        }
        TestSet* set = CreateTestSet();
        ASSERT_EQ(ParseTest(set, "abort", (script + c.script).c_str()), 1) << m_messages.last();
        auto run = std::async(std::launch::async, [set] { return RunTest(set); });
        // Both users are inside their exchange once both connections are accepted.
        auto accepted = [&] {
            return (proxy ? proxy->acceptedConnections() : server.acceptedConnections()) >= 2;
        };
        for (int i = 0; i < 400 && !accepted(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(accepted());
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        AbortRun(set);
        // The peers would hold the users for minutes; the bound only catches a hang.
        ASSERT_EQ(run.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        run.get();
        FreeTestSet(set);
    }
}

// A secure test with no port of its own goes to 443, through a tunnel here, which
// shows where the users went.
TEST_F(AbortRunTest, ASecureTestsDefaultPortIs443ForItsRequestsToo) {
    TestHttpServer server;
    TestProxy proxy(TestProxy::options(TestProxy::Kind::kConnect, server.port()));
    const std::string script =
        "server=127.0.0.1\nsecure=1\ndelaystart=0\nrequests=1\ntimeout=1\nproxy=httpc:127.0.0.1:" +
        std::to_string(proxy.port()) + "\n[a]\n";
    TestSet* set = CreateTestSet();
    ASSERT_EQ(ParseTest(set, "secure", script.c_str()), 1) << m_messages.last();
    // The plain server never answers the TLS handshake through the tunnel: the
    // request ends at its time-out; what counts here is where the tunnel leads.
    RunTest(set);
    EXPECT_EQ(proxy.handshake(0).rfind("CONNECT 127.0.0.1:443 ", 0), 0u) << proxy.handshake(0);
    FreeTestSet(set);
}

TEST_F(AbortRunTest, AProtocolThatDoesNotExistHereIsSaidOnce) {
    TestHttpServer server;
    const std::string script = "server=127.0.0.1\nport=" + std::to_string(server.port()) +
                               "\nsecure=1\nsslver=0\nclients=3\ndelaystart=0\nrequests=1\n[a]\n";
    TestSet* set = CreateTestSet();
    ASSERT_EQ(ParseTest(set, "ssl2", script.c_str()), 1);
    RunTest(set);
    EXPECT_EQ(m_messages.lines(),
              std::vector<std::string>{
                  "Secure requests cannot be made: SSL 2.0 is not supported; use sslver=1"});
    FreeTestSet(set);
}

}  // namespace
}  // namespace velk::test
