#include "loop/resolver_pool.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

#include <string>

#include "loop/loop_test_support.h"

namespace velk::loop {
namespace {

using namespace std::chrono_literals;

bool isLoopback(const ResolvedAddress& address) {
    if (address.address.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address.address);
        return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    }
    if (address.address.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address.address);
        return IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr);
    }
    return false;
}

TEST(ResolverPool, LocalhostResolvesOnceAndThenComesFromTheCache) {
    EventLoop loop;
    ResolverPool resolver(2);
    ResolveResult first;
    ResolveResult second;
    loop.spawn([&] {
        first = resolver.resolve("localhost", test::after(30s));
        second = resolver.resolve("localhost", test::after(30s));
    });
    test::runBounded(loop);
    ASSERT_TRUE(first.ok()) << first.error;
    ASSERT_FALSE(first.addresses.empty());
    for (const auto& address : first.addresses) EXPECT_TRUE(isLoopback(address));
    EXPECT_TRUE(second.ok());
    EXPECT_EQ(second.addresses.size(), first.addresses.size());
    EXPECT_EQ(resolver.lookups(), 1u);
}

// Malformed names fail at once with a message and never reach a name server.
TEST(ResolverPool, MalformedNamesFailWithoutALookUp) {
    const std::string names[] = {
        "",
        "no such host",
        "host/path",
        "bad\nname",
        std::string(64, 'a') + ".example",
        std::string(254, 'a'),
    };
    EventLoop loop;
    ResolverPool resolver(1);
    int failed = 0;
    loop.spawn([&] {
        for (const auto& name : names) {
            const ResolveResult result = resolver.resolve(name, test::after(30s));
            if (!result.ok() && result.addresses.empty() && !result.error.empty()) ++failed;
        }
    });
    test::runBounded(loop);
    EXPECT_EQ(failed, static_cast<int>(std::size(names)));
    EXPECT_EQ(resolver.lookups(), 0u);
}

TEST(ResolverPool, ResolveOutsideATaskFailsCleanly) {
    ResolverPool resolver(1);
    EXPECT_FALSE(resolver.resolve("localhost").ok());
}

}  // namespace
}  // namespace velk::loop
