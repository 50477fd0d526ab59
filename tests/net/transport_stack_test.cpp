// The transport stack: TLS composed over proxy tunnels through a real loopback
// proxy to a real TLS server, and the layers driven without blocking, as an event
// loop would drive them.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>

#include <memory>
#include <string>

#include "net/connection.h"
#include "net/plain_socket_transport.h"
#include "net/proxy_handshake.h"
#include "net/tls_client_context.h"
#include "net/tls_transport.h"
#include "net_test_helpers.h"
#include "support/test_http_server.h"
#include "support/test_proxy.h"

namespace velk::net {
namespace {

using test::TestHttpServer;
using test::TestProxy;
using testing::readResponse;
using testing::writeAll;

const std::string kSecret = test::httpResponse(200, "secret");
const std::string kRequest = "GET /s HTTP/1.1\r\nHost: localhost\r\n\r\n";

struct TunnelCase {
    const char* name;
    TestProxy::Kind proxyKind;
    ProxyKind kind;
};

TEST(TransportStack, TlsRunsOverEachKindOfTunnel) {
    const TunnelCase cases[] = {
        {"CONNECT", TestProxy::Kind::kConnect, ProxyKind::kHttpConnect},
        {"SOCKS4", TestProxy::Kind::kSocks4, ProxyKind::kSocks4},
        {"SOCKS5", TestProxy::Kind::kSocks5, ProxyKind::kSocks5},
    };
    for (const TunnelCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestHttpServer server(TestHttpServer::Options{.tls = true});
        server.setHandler(TestHttpServer::replyWith(kSecret));
        TestProxy proxy(TestProxy::options(c.proxyKind, server.port()));
        Connection conn;
        ASSERT_TRUE(conn.init("127.0.0.1", proxy.port(), false, 1, 10).isOk());
        ASSERT_TRUE(conn.connect().isOk());
        std::string log;
        ASSERT_EQ(proxyHandshake(conn, "localhost", 443, "", c.kind, log), 0) << log;
        EXPECT_FALSE(conn.carriesTls());
        ASSERT_TRUE(conn.startTls(1, "localhost").isOk());
        EXPECT_TRUE(conn.carriesTls());
        EXPECT_FALSE(conn.isSecure());  // the connection itself still goes to the proxy
        ASSERT_EQ(writeAll(conn, kRequest), int(kRequest.size()));
        EXPECT_EQ(readResponse(conn), kSecret);
        ASSERT_TRUE(server.waitForRequests(1, 10000));
        EXPECT_EQ(server.requests()[0].raw, kRequest);
        EXPECT_EQ(server.serverName(0), "localhost");
        EXPECT_EQ(proxy.tunnelsOpened(), 1);
        // The proxy relayed only ciphertext.
        EXPECT_EQ(proxy.received(0).find("GET /s"), std::string::npos);
        conn.close();
        EXPECT_FALSE(conn.carriesTls());
    }
}

TEST(TransportStack, AFailedTlsStartClosesTheConnection) {
    // A plain server behind the tunnel answers the client hello with no TLS.
    TestHttpServer plain;
    plain.setHandler(TestHttpServer::replyWith(kSecret));
    TestProxy proxy(TestProxy::options(TestProxy::Kind::kConnect, plain.port()));
    Connection conn;
    ASSERT_TRUE(conn.init("127.0.0.1", proxy.port(), false, 1, 2).isOk());
    ASSERT_TRUE(conn.connect().isOk());
    std::string log;
    ASSERT_EQ(proxyHandshake(conn, "localhost", 443, "", ProxyKind::kHttpConnect, log), 0);
    EXPECT_FALSE(conn.startTls(1, "localhost").isOk());
    EXPECT_FALSE(conn.isOpen());
    EXPECT_EQ(conn.read(nullptr, 1).status().code(), StatusCode::kNetwork);

    // A protocol choice that names nothing is refused with its reason, before any
    // byte goes to the tunnel.
    ASSERT_TRUE(conn.connect().isOk());
    EXPECT_EQ(conn.startTls(0, "localhost").message(),
              "SSL 2.0 is not supported; use sslver=1\r\n");
    EXPECT_FALSE(conn.isOpen());
    // Only an open plain stream takes TLS.
    EXPECT_FALSE(conn.startTls(1, "localhost").isOk());
}

// Passes bytes to the layer below and counts them, standing for any layer between
// the socket and TLS.
class CountingTransport final : public Transport {
public:
    explicit CountingTransport(std::unique_ptr<Transport> lower) : m_lower(std::move(lower)) {}
    int read(void* buffer, int size) override { return count(m_lower->read(buffer, size), in); }
    int write(const void* data, int length) override {
        return count(m_lower->write(data, length), out);
    }
    Readiness wants() const override { return m_lower->wants(); }
    int fd() const override { return m_lower->fd(); }
    static inline long in = 0, out = 0;

private:
    static int count(int n, long& total) {
        if (n > 0) total += n;
        return n;
    }
    std::unique_ptr<Transport> m_lower;
};

// Repeats call while it would block, waiting as an event loop would for what the
// stack wants; bounded in rounds and each wait in time.
template <class Call>
int drive(Transport& t, Call call) {
    for (int round = 0; round < 10000; ++round) {
        const int n = call();
        if (n != kWouldBlock) return n;
        pollfd p{t.fd(), short(t.wants() == Readiness::kRead ? POLLIN : POLLOUT), 0};
        if (::poll(&p, 1, 10000) <= 0) return -1;
    }
    return -1;
}

TEST(TransportStack, TlsOverAnyLayerDrivenWithoutBlocking) {
    TestHttpServer server(TestHttpServer::Options{.tls = true});
    server.setHandler(TestHttpServer::replyWith(kSecret));
    int error = 0;
    auto socket = PlainSocketTransport::connect(htonl(INADDR_LOOPBACK), htons(server.port()), 10000,
                                                nullptr, error);
    ASSERT_TRUE(socket) << error;
    std::string why;
    auto tls = TlsTransport::over(std::make_unique<CountingTransport>(std::move(socket)),
                                  TlsClientContext::forVersion(1, why), "localhost");
    ASSERT_TRUE(tls);
    ASSERT_EQ(drive(*tls, [&] { return tls->handshake(); }), 0);
    EXPECT_GT(CountingTransport::in, 0);
    EXPECT_GT(CountingTransport::out, 0);
    ASSERT_EQ(drive(*tls, [&] { return tls->write(kRequest.data(), int(kRequest.size())); }),
              int(kRequest.size()));
    std::string got;
    char piece[256];
    for (int i = 0; i < 1000 && got.size() < kSecret.size(); ++i) {
        const int n = drive(*tls, [&] { return tls->read(piece, sizeof piece); });
        if (n <= 0) break;
        got.append(piece, size_t(n));
    }
    EXPECT_EQ(got, kSecret);
    EXPECT_EQ(server.serverName(0), "localhost");
}

}  // namespace
}  // namespace velk::net
