#pragma once
// The proxy option parsed: which kind of proxy, where it is, and the credentials to
// give it.  Plain values; safe to copy between threads.
#include <cstdint>
#include <string>

namespace velk::net {

enum class ProxyKind : int32_t {
    kNone = 0,
    kHttp = 1,         // requests go in absolute form, no handshake
    kHttpConnect = 2,  // CONNECT tunnel
    kSocks4 = 3,
    kSocks5 = 4,
};

struct ProxySpec {
    ProxyKind kind = ProxyKind::kNone;
    std::string host;  // up to 255 characters
    int32_t port = 0;
    std::string credentials;  // "user:password", the text before '@'; "" when absent
};

inline constexpr size_t kMaxProxyField = 255;

// The port a proxy of this kind listens on when the option names none.
int32_t defaultProxyPort(ProxyKind kind);

// Parses "[kind:][//][credentials@]host[:port]".  An empty option is success with kind
// none; a text without a known prefix names an HTTP proxy.  False (and kind none)
// when the host is empty or 256 characters or longer.
bool parseProxySpec(const std::string& option, ProxySpec& proxy);

}  // namespace velk::net
