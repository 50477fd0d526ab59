#include "net/ipv4_resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "loop/resolver_pool.h"
#include "loop/task_wait.h"

namespace velk::net {

bool isNumericIPv4(const std::string& host) {
    in_addr a{};
    return !host.empty() && inet_aton(host.c_str(), &a) != 0;
}

bool lookupIPv4(const std::string& host, uint32_t& addressNetworkOrder) {
    if (host.empty()) return false;
    in_addr a{};
    if (inet_aton(host.c_str(), &a) != 0) {
        addressNetworkOrder = a.s_addr;
        return true;
    }
    // getaddrinfo may wait seconds for the network: a task hands it to its loop's
    // resolver threads and waits parked.
    if (loop::EventLoop* loop = loop::taskLoop(); loop != nullptr && loop->resolver() != nullptr) {
        for (const loop::ResolvedAddress& found : loop->resolver()->resolve(host).addresses)
            if (found.address.ss_family == AF_INET) {
                addressNetworkOrder =
                    reinterpret_cast<const sockaddr_in*>(&found.address)->sin_addr.s_addr;
                return true;
            }
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return false;
    bool found = false;
    for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addr != nullptr) {
            addressNetworkOrder = reinterpret_cast<sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
            found = true;
            break;
        }
    }
    freeaddrinfo(list);
    return found;
}

bool resolveIPv4(const std::string& name, uint32_t& addressNetworkOrder) {
    uint32_t a = 0;
    if (!lookupIPv4(name, a) || a == 0 || a == INADDR_NONE) return false;
    addressNetworkOrder = a;
    return true;
}

}  // namespace velk::net
