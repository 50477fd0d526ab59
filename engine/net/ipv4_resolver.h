#pragma once
// Host names to addresses.  Dotted IPv4 addresses and IPv6 literals (bare or in
// brackets, "[::1]") are parsed without a lookup; other names go through
// getaddrinfo (thread-safe), on a task on an event loop through its loop's
// ResolverPool.  A name with both kinds of address is reached over IPv4 first,
// as it always was; a name with IPv6 addresses only over IPv6.  Safe from any
// thread.
#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace velk::net {

// An address to connect to, port included.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family() const { return storage.ss_family; }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

// host without the brackets of an IPv6 literal ("[::1]" gives "::1").
std::string_view bareHost(std::string_view host);

// True when host is written as an IPv4 address ("10.0.0.1", also the short forms
// inet_aton accepts).
bool isNumericIPv4(const std::string& host);
// True when host is an IPv4 address or an IPv6 literal, bracketed or not: no
// name, so no TLS server name either.
bool isNumericAddress(const std::string& host);

// The address of host with port (host byte order): parsed when numeric, else the
// first IPv4 address the resolver gives, else its first IPv6 one.  False when
// there is none.
bool lookupAddress(const std::string& host, uint16_t port, SocketAddress& out);

// The address of host in network byte order: parsed when numeric, else the first
// IPv4 address the resolver gives.  False when there is none.
bool lookupIPv4(const std::string& host, uint32_t& addressNetworkOrder);

// As lookupIPv4, but 0.0.0.0 and 255.255.255.255 count as failures too: used where
// the address is sent to a proxy as a connect target.
bool resolveIPv4(const std::string& name, uint32_t& addressNetworkOrder);

}  // namespace velk::net
