#include "net/proxy_spec.h"

#include <cstdlib>

namespace velk::net {

int32_t defaultProxyPort(ProxyKind kind) {
    switch (kind) {
        case ProxyKind::kHttp:
        case ProxyKind::kHttpConnect:
            return 8000;
        case ProxyKind::kSocks4:
        case ProxyKind::kSocks5:
            return 1080;
        case ProxyKind::kNone:
            break;
    }
    return 0;
}

bool parseProxySpec(const std::string& option, ProxySpec& proxy) {
    proxy = ProxySpec{};
    if (option.empty()) return true;

    struct Prefix {
        const char* text;
        ProxyKind kind;
    };
    static constexpr Prefix kPrefixes[] = {{"http:", ProxyKind::kHttp},
                                           {"httpc:", ProxyKind::kHttpConnect},
                                           {"socks4:", ProxyKind::kSocks4},
                                           {"socks5:", ProxyKind::kSocks5}};
    ProxyKind kind = ProxyKind::kHttp;
    size_t pos = 0;
    for (const Prefix& prefix : kPrefixes) {
        if (option.rfind(prefix.text, 0) == 0) {
            kind = prefix.kind;
            pos = std::char_traits<char>::length(prefix.text);
            while (pos < option.size() && (option[pos] == '/' || option[pos] == ':')) ++pos;
            break;
        }
    }

    std::string credentials;
    size_t at = option.find('@', pos);
    if (at != std::string::npos) {
        if (at - pos <= kMaxProxyField) credentials = option.substr(pos, at - pos);
        pos = at + 1;
    }

    // An IPv6 literal is written in brackets: its colons are not the port's.
    size_t hostScan = pos;
    if (pos < option.size() && option[pos] == '[') {
        const size_t close = option.find(']', pos);
        if (close != std::string::npos) hostScan = close;
    }
    size_t colon = option.find(':', hostScan);
    size_t hostEnd = colon == std::string::npos ? option.size() : colon;
    if (hostEnd == pos || hostEnd - pos > kMaxProxyField) return false;

    proxy.kind = kind;
    proxy.host = option.substr(pos, hostEnd - pos);
    proxy.credentials = std::move(credentials);
    if (colon != std::string::npos) {
        // Like atoi: leading digits, 0 when there are none; clamped so it cannot overflow.
        long port = std::strtol(option.c_str() + colon + 1, nullptr, 10);
        if (port < 0 || port > 65535) port = 0;
        proxy.port = int32_t(port);
    } else {
        proxy.port = defaultProxyPort(kind);
    }
    return true;
}

}  // namespace velk::net
