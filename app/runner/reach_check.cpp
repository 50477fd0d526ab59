#include "app/runner/reach_check.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <mutex>
#include <string_view>

namespace velk::runner {
namespace {

// The text with each "$gvar(name,default)" (any case) replaced by the
// name's value, or its default when the value is empty or missing.
std::string withGlobalValues(const std::string& text,
                             const std::map<std::string, std::string>& values) {
    static constexpr std::string_view kOpen = "$gvar(";
    std::string out;
    size_t at = 0;
    for (;;) {
        size_t found = std::string::npos;
        for (size_t i = at; i + kOpen.size() <= text.size() && found == std::string::npos; ++i)
            if (std::equal(kOpen.begin(), kOpen.end(), text.begin() + std::ptrdiff_t(i),
                           [](char a, char b) {
                               return a == std::tolower(static_cast<unsigned char>(b));
                           }))
                found = i;
        const size_t close = found == std::string::npos ? found : text.find(')', found);
        if (close == std::string::npos) {
            out.append(text, at, std::string::npos);
            return out;
        }
        out.append(text, at, found - at);
        const std::string inside = text.substr(found + kOpen.size(), close - found - kOpen.size());
        const size_t comma = inside.find(',');
        const auto value = values.find(inside.substr(0, comma));
        if (value != values.end() && !value->second.empty())
            out += value->second;
        else if (comma != std::string::npos)
            out += inside.substr(comma + 1);
        at = close + 1;
    }
}

bool inInvalidDomain(std::string_view host) {
    if (!host.empty() && host.back() == '.') host.remove_suffix(1);
    std::string lower(host.substr(host.size() - std::min<size_t>(host.size(), 8)));
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    return lower == "invalid" || lower == ".invalid";
}

std::string place(const ReachTarget& t) {
    return (t.proxy ? "the proxy " : "") + t.host + ":" + std::to_string(t.port);
}

struct AddressList {
    addrinfo* list = nullptr;
    ~AddressList() {
        if (list) freeaddrinfo(list);
    }
};

struct Socket {
    int fd = -1;
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
};

// 0 when connected, else the errno of the failure (ETIMEDOUT when no answer).
int connectWithin(const sockaddr* address, socklen_t length, int32_t timeoutMs) {
    Socket s;
    s.fd = ::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s.fd < 0) return errno;
    if (::connect(s.fd, address, length) == 0) return 0;
    if (errno != EINPROGRESS) return errno;
    pollfd p{s.fd, POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&p, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) return ETIMEDOUT;
    if (ready < 0) return errno;
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
}

}  // namespace

std::string unreachableReason(const ReachTarget& target, int32_t timeoutMs) {
    if (target.port <= 0 || target.port > 65535)
        return "The port of " + place(target) + " is out of range.";
    // The first address the resolver gives, IPv4 or IPv6, as the engine
    // connects; a literal in brackets is looked up without them.
    std::string host = target.host;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    AddressList found;
    // Names under "invalid" never resolve: the answer needs no network.
    const int status = inInvalidDomain(host)
                           ? EAI_NONAME
                           : ::getaddrinfo(host.c_str(), nullptr, &hints, &found.list);
    if (status != 0 || !found.list)
        return "The name \"" + target.host + "\" of " +
               (target.proxy ? "the proxy" : "the server") + " does not resolve (" +
               ::gai_strerror(status) + ").";
    sockaddr_storage address{};
    const socklen_t length = socklen_t(std::min<size_t>(sizeof address, found.list->ai_addrlen));
    std::memcpy(&address, found.list->ai_addr, length);
    if (address.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&address)->sin6_port = htons(uint16_t(target.port));
    else
        reinterpret_cast<sockaddr_in*>(&address)->sin_port = htons(uint16_t(target.port));
    const int error = connectWithin(reinterpret_cast<const sockaddr*>(&address), length, timeoutMs);
    if (error == 0) return "";
    if (error == ECONNREFUSED)
        return "Connection refused by " + place(target) + ": no server listens there.";
    if (error == ETIMEDOUT) {
        const int32_t seconds = std::max(timeoutMs / 1000, 1);
        return "No answer from " + place(target) + " within " + std::to_string(seconds) +
               (seconds == 1 ? " second." : " seconds.");
    }
    return place(target) + " cannot be reached: " + std::strerror(error) + ".";
}

std::vector<ReachTarget> reachTargets(const std::vector<std::pair<std::string, bool>>& servers,
                                      const std::map<std::string, std::string>& values) {
    std::vector<ReachTarget> targets;
    for (const auto& [text, secure] : servers) {
        if (targets.size() >= kMaxReachTargets) break;
        const std::string server = withGlobalValues(text, values);
        if (server.empty() || server.find('$') != std::string::npos) continue;
        ReachTarget t;
        t.port = secure ? 443 : 80;
        // "[::1]:8080", "[::1]", "::1" and "host:8080": a colon inside an
        // IPv6 literal does not start the port.
        const size_t bracket = server.starts_with('[') ? server.find(']') : std::string::npos;
        size_t colon = server.rfind(':');
        if (bracket != std::string::npos)
            colon = server.compare(bracket + 1, 1, ":") == 0 ? bracket + 1 : std::string::npos;
        else if (server.find(':') != colon)
            colon = std::string::npos;
        t.host = server.substr(0, colon);
        if (colon != std::string::npos) {
            int32_t port = 0;
            const char* end = server.data() + server.size();
            const auto r = std::from_chars(server.data() + colon + 1, end, port);
            t.port = r.ec == std::errc() && r.ptr == end ? port : -1;
        }
        if (t.host.empty()) continue;
        if (std::find(targets.begin(), targets.end(), t) == targets.end()) targets.push_back(t);
    }
    return targets;
}

std::vector<ReachTarget> reachTargets(const scenario::CScenario& scenario,
                                      const settings::GlobalSettings& settings) {
    const settings::GlobalSettings::Values v = settings.values();
    if (v.useProxy) return {{v.proxyServer, v.proxyPort, true}};
    std::vector<std::pair<std::string, bool>> servers;
    {
        std::lock_guard<const scenario::CRequestsContainer> g(scenario.requests());
        for (const scenario::CRequest* r : scenario.requests().flattened())
            servers.emplace_back(r->getServer(), r->getSecure() == 2);
    }
    return reachTargets(servers, scenario.globalValues());
}

}  // namespace velk::runner
