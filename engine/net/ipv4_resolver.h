#pragma once
// Host names to IPv4 addresses.  Dotted addresses are parsed without a lookup; other
// names go through getaddrinfo (thread-safe), on a task on an event loop through
// its loop's ResolverPool.  Safe from any thread.
#include <cstdint>
#include <string>

namespace velk::net {

// True when host is written as an IPv4 address ("10.0.0.1", also the short forms
// inet_aton accepts).
bool isNumericIPv4(const std::string& host);

// The address of host in network byte order: parsed when numeric, else the first
// IPv4 address the resolver gives.  False when there is none.
bool lookupIPv4(const std::string& host, uint32_t& addressNetworkOrder);

// As lookupIPv4, but 0.0.0.0 and 255.255.255.255 count as failures too: used where
// the address is sent to a proxy as a connect target.
bool resolveIPv4(const std::string& name, uint32_t& addressNetworkOrder);

}  // namespace velk::net
