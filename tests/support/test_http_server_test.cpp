// The test servers are the yardstick of every network test, so their own framing
// and shutdown are checked here with plain sockets.
#include "support/test_http_server.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace velk::test {
namespace {

int openDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr) ++n;
        closedir(d);
    }
    return n;
}

std::string receiveUntilClosed(int fd, size_t cap) {
    std::string out;
    char piece[4096];
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    while (out.size() < cap) {
        ssize_t n = ::recv(fd, piece, sizeof piece, 0);
        if (n <= 0) break;
        out.append(piece, size_t(n));
    }
    return out;
}

TEST(TestHttpServer, ReadsWholeRequestsAndRecordsThemOnePerExchange) {
    TestHttpServer server;
    server.setHandler([](const ReceivedRequest& req, Responder& r) {
        r.respond(200, req.method + " " + req.body);
        if (req.onConnection == 1) r.close();
    });
    int fd = connectLoopback(server.port(), 5000);
    ASSERT_GE(fd, 0);
    // Two pipelined requests, the first body split from its head.
    const std::string first = "POST /a HTTP/1.1\r\nContent-Length: 5\r\n\r\n";
    const std::string second = "GET /b HTTP/1.1\r\nX-Y:  z \r\n\r\n";
    ASSERT_EQ(::send(fd, first.data(), first.size(), MSG_NOSIGNAL), ssize_t(first.size()));
    ASSERT_TRUE(server.waitForConnections(1, 5000));
    const std::string rest = "hello" + second;
    ASSERT_EQ(::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL), ssize_t(rest.size()));
    EXPECT_EQ(receiveUntilClosed(fd, 1 << 16),
              httpResponse(200, "POST hello") + httpResponse(200, "GET "));
    ::close(fd);

    std::vector<ReceivedRequest> got = server.requests();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].raw, first + "hello");
    EXPECT_EQ(got[0].target, "/a");
    EXPECT_EQ(got[1].raw, second);
    EXPECT_EQ(got[1].header("x-y"), "z");
    EXPECT_EQ(got[1].onConnection, 1);
    EXPECT_EQ(server.connectionBytes(0), first + rest);
    EXPECT_EQ(server.acceptedConnections(), 1);
}

TEST(TestHttpServer, StopsPromptlyAndLeavesNoDescriptorsBehind) {
    const int before = openDescriptors();
    auto started = std::chrono::steady_clock::now();
    {
        TestHttpServer server;
        server.setHandler([](const ReceivedRequest&, Responder& r) {
            r.trickle(std::string(1000, 'x'), 1, 1000);  // would take many minutes
        });
        std::vector<int> clients;
        for (int i = 0; i < 3; ++i) {
            int fd = connectLoopback(server.port(), 5000);
            ASSERT_GE(fd, 0);
            ::send(fd, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
            clients.push_back(fd);
        }
        ASSERT_TRUE(server.waitForRequests(3, 10000));
        for (int fd : clients) ::close(fd);
        started = std::chrono::steady_clock::now();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(openDescriptors(), before);
}

}  // namespace
}  // namespace velk::test
