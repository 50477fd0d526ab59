#include "net/ipv4_resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>
#include <iterator>

#include "base/reserved_names.h"
#include "loop/resolver_pool.h"
#include "loop/task_wait.h"

namespace velk::net {
namespace {

bool parseIPv6(std::string_view host, in6_addr& out) {
    const std::string bare(bareHost(host));
    return !bare.empty() && inet_pton(AF_INET6, bare.c_str(), &out) == 1;
}

void setIPv4(uint32_t addressNetworkOrder, uint16_t port, SocketAddress& out) {
    out = SocketAddress{};
    auto* sa = reinterpret_cast<sockaddr_in*>(&out.storage);
    sa->sin_family = AF_INET;
    sa->sin_port = htons(port);
    sa->sin_addr.s_addr = addressNetworkOrder;
    out.length = sizeof(sockaddr_in);
}

void setIPv6(const sockaddr_in6& from, uint16_t port, SocketAddress& out) {
    out = SocketAddress{};
    auto* sa = reinterpret_cast<sockaddr_in6*>(&out.storage);
    *sa = from;
    sa->sin6_port = htons(port);
    out.length = sizeof(sockaddr_in6);
}

// The first address of each family the resolver gave, IPv4 first.
bool pickResolved(const sockaddr* const* found, size_t count, uint16_t port, SocketAddress& out) {
    for (int family : {AF_INET, AF_INET6})
        for (size_t i = 0; i < count; ++i) {
            if (found[i] == nullptr || found[i]->sa_family != family) continue;
            if (family == AF_INET)
                setIPv4(reinterpret_cast<const sockaddr_in*>(found[i])->sin_addr.s_addr, port, out);
            else
                setIPv6(*reinterpret_cast<const sockaddr_in6*>(found[i]), port, out);
            return true;
        }
    return false;
}

}  // namespace

std::string_view bareHost(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        return host.substr(1, host.size() - 2);
    return host;
}

bool isNumericIPv4(const std::string& host) {
    in_addr a{};
    return !host.empty() && inet_aton(host.c_str(), &a) != 0;
}

bool isNumericAddress(const std::string& host) {
    in6_addr a{};
    return isNumericIPv4(host) || parseIPv6(host, a);
}

bool lookupAddress(const std::string& host, uint16_t port, SocketAddress& out) {
    if (host.empty()) return false;
    in_addr a4{};
    if (inet_aton(host.c_str(), &a4) != 0) {
        setIPv4(a4.s_addr, port, out);
        return true;
    }
    in6_addr a6{};
    if (parseIPv6(host, a6)) {
        sockaddr_in6 sa{};
        sa.sin6_family = AF_INET6;
        sa.sin6_addr = a6;
        setIPv6(sa, port, out);
        return true;
    }
    if (isInvalidDomain(host)) return false;
    // getaddrinfo may wait seconds for the network: a task hands it to its loop's
    // resolver threads and waits parked.
    if (loop::EventLoop* loop = loop::taskLoop(); loop != nullptr && loop->resolver() != nullptr) {
        const auto answer = loop->resolver()->resolve(host);
        const sockaddr* found[16];
        size_t count = 0;
        for (const loop::ResolvedAddress& r : answer.addresses) {
            if (count == std::size(found)) break;
            found[count++] = reinterpret_cast<const sockaddr*>(&r.address);
        }
        return pickResolved(found, count, port, out);
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return false;
    const sockaddr* found[16];
    size_t count = 0;
    for (addrinfo* ai = list; ai != nullptr && count < std::size(found); ai = ai->ai_next)
        if (ai->ai_addr != nullptr) found[count++] = ai->ai_addr;
    const bool ok = pickResolved(found, count, port, out);
    freeaddrinfo(list);
    return ok;
}

bool lookupIPv4(const std::string& host, uint32_t& addressNetworkOrder) {
    SocketAddress a;
    if (!lookupAddress(host, 0, a) || a.family() != AF_INET) return false;
    addressNetworkOrder = reinterpret_cast<const sockaddr_in*>(a.get())->sin_addr.s_addr;
    return true;
}

bool resolveIPv4(const std::string& name, uint32_t& addressNetworkOrder) {
    uint32_t a = 0;
    if (!lookupIPv4(name, a) || a == 0 || a == INADDR_NONE) return false;
    addressNetworkOrder = a;
    return true;
}

}  // namespace velk::net
