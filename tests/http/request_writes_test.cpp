// How a request leaves the socket: without the small-packet delay, and written
// whole, so a server's first read holds all of it.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <fstream>
#include <mutex>

#include "http_fixture.h"
#include "support/loopback_listener.h"

namespace velk::test {
namespace {

// Answers each connection's request after noting what its first read held.
class FirstReadServer {
public:
    FirstReadServer() {
        m_listener.start([this](PeerStream& stream, int) {
            char buffer[65536];
            const int n = stream.receive(buffer, sizeof buffer, 5000);
            if (n <= 0) return;
            {
                std::lock_guard lock(m_mutex);
                m_firstReads.emplace_back(buffer, size_t(n));
            }
            stream.sendAll("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", 5000);
            // Drain whatever else came, so closing does not reset the answer.
            for (int i = 0; i < 100 && stream.receive(buffer, sizeof buffer, 1000) > 0; ++i) {
            }
        });
    }
    uint16_t port() const { return m_listener.port(); }
    std::vector<std::string> firstReads() {
        std::lock_guard lock(m_mutex);
        return m_firstReads;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_firstReads;  // GUARDED_BY(m_mutex)
    LoopbackListener m_listener;
};

using RequestWrites = HttpFixture;

TEST_F(RequestWrites, SocketSendsWithoutDelayAndARequestWithItsBodyArrivesInOneRead) {
    const std::string upload = m_logDir.file("upload.bin");
    std::ofstream(upload, std::ios::binary) << std::string(5000, 'u');
    const std::string big(4000, 'v');
    FirstReadServer server;
    load("keepalive=1\n[form]\n$method=POST\n$uri=/form\nbig=" + big + "\n[multi]\n$uri=/multi\n" +
             "f=$File(" + upload + ",application/octet-stream)\n",
         0, server.port());

    for (const char* name : {"form", "multi"}) {
        SCOPED_TRACE(name);
        ASSERT_GE(run(name), 0) << logText();
        int on = 0;
        socklen_t length = sizeof on;
        ASSERT_EQ(
            getsockopt(m_session->connection.descriptor(), IPPROTO_TCP, TCP_NODELAY, &on, &length),
            0);
        EXPECT_NE(on, 0);
        // What the user sent, as its log has it: all of it in the server's first read.
        const std::string sent(m_session->request.view());
        const auto reads = server.firstReads();
        ASSERT_FALSE(reads.empty());
        EXPECT_EQ(reads.back().size(), sent.size());
        EXPECT_EQ(reads.back(), sent);
        m_session->connection.close();
        m_session->connection.setReusable(false);
    }
}

}  // namespace
}  // namespace velk::test
