#pragma once
// Where a "Location:" value sends a redirect: scheme (http:// or https://, any
// case), host, port and the path to request.  A value without scheme, or with an
// empty host, stays on the host and port just contacted; a relative path is
// taken in the directory of the URL just requested; blanks become "+".
//
// Plain value types and functions; no state.
#include <cstdint>
#include <string>
#include <string_view>

namespace velk {

// What a relative location is resolved against: the host, port and security of
// the exchange just made, and the directory of its path ("/shop/").
struct RedirectBase {
    std::string_view host;
    int32_t port = 80;
    bool secure = false;
    std::string_view directory = "/";
};

struct RedirectTarget {
    bool hasScheme = false;
    bool secure = false;
    std::string host;
    int32_t port = 80;
    std::string path;  // as requested: never empty, blanks as "+"
};

// The storage a user's redirects reuse, so that following one allocates nothing
// once it has grown.
struct RedirectScratch {
    RedirectTarget target;
    std::string directory;     // of the URL just requested
    std::string url;           // absolute form for a proxy
    std::string lastPath;      // path of the last Location followed ($expectlocation)
    std::string lastLocation;  // that Location as the server sent it (exchange observers)
    bool redirected = false;
    // The method the next hop repeats when told to (307, 308), and whether the
    // body goes again: its header lines (Content-Type, Content-Length) as the
    // request composed them; the body itself stays in the session's data buffer.
    int32_t method = 0;
    bool withBody = false;
    std::string bodyHeaders;
};

// Resolves location into out, reusing out's storage.  A port that is not a
// number in 0..65535 comes out as -1 (an empty one as the default), which no connection accepts.
void resolveRedirectLocation(std::string_view location, const RedirectBase& base,
                             RedirectTarget& out);

// The directory part of a URL or a path: the path after "scheme://host[:port]",
// without any query, cut after its last "/" ("/" when there is none).
std::string_view urlDirectory(std::string_view url);

// "http[s]://host[:port]path", the port left out when it is the scheme's
// default.
void appendAbsoluteUrl(const RedirectTarget& target, std::string& out);

}  // namespace velk
