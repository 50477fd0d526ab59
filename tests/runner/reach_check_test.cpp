// Why a run reached no server: one connection to each place, over loopback
// only: a closed port, a listener that never answers, a server that does.
#include "app/runner/reach_check.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/full_backlog_listener.h"
#include "support/test_http_server.h"

namespace velk::runner {
namespace {

// A loopback port nothing listens on: bound once, then closed.
int32_t closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

TEST(ReachCheck, NamesWhyAPlaceCannotBeReached) {
    velk::test::TestHttpServer server;
    velk::test::TestHttpServer::Options onIPv6;
    onIPv6.ipv6 = true;
    velk::test::TestHttpServer server6(onIPv6);
    velk::test::FullBacklogListener silent;
    const int32_t closed = closedPort();
    const std::string at = "127.0.0.1:";
    const struct {
        ReachTarget target;
        std::string reason;
    } cases[] = {
        {{"127.0.0.1", int32_t(server.port()), false}, ""},
        {{"127.0.0.1", closed, false},
         "Connection refused by " + at + std::to_string(closed) + ": no server listens there."},
        {{"127.0.0.1", closed, true},
         "Connection refused by the proxy " + at + std::to_string(closed) +
             ": no server listens there."},
        {{"127.0.0.1", int32_t(silent.port()), false},
         "No answer from " + at + std::to_string(silent.port()) + " within 1 second."},
        {{"127.0.0.1", 70000, false}, "The port of 127.0.0.1:70000 is out of range."},
        {{"[::1]", int32_t(server6.port()), false}, ""},
        // Answered without a question to the network.
        {{"velk-test.INVALID.", 80, false},
         "The name \"velk-test.INVALID.\" of the server does not resolve (Name or service not "
         "known)."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(unreachableReason(c.target, 1000), c.reason) << c.target.port;
}

TEST(ReachCheck, PlacesOfTheRequestsOnceEachWithTheirPortsAndValues) {
    const std::vector<ReachTarget> targets =
        reachTargets({{"shop:$GVAR(port,8080)", false},
                      {"shop", true},
                      {"shop:8081", false},
                      {"$gvar(host,localhost):$gvar(none,90)", false},
                      {"", false},
                      {"$Rand(1,9).example", false},
                      {"b:x", false},
                      {"c", false}},
                     {{"port", "8081"}, {"host", ""}});
    EXPECT_EQ(targets, (std::vector<ReachTarget>{{"shop", 8081, false},
                                                 {"shop", 443, false},
                                                 {"localhost", 90, false},
                                                 {"b", -1, false}}));
    // A colon inside an IPv6 literal does not start the port.
    EXPECT_EQ(reachTargets({{"[::1]:8082", false}, {"[::1]", true}, {"::1", false}}, {}),
              (std::vector<ReachTarget>{
                  {"[::1]", 8082, false}, {"[::1]", 443, false}, {"::1", 80, false}}));
}

}  // namespace
}  // namespace velk::runner
