#include "http/redirect_location.h"

#include <charconv>

#include "base/ascii.h"

namespace velk {
namespace {

int32_t parsePort(std::string_view digits, int32_t defaultPort) {
    if (digits.empty()) return defaultPort;
    int32_t port = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (ec != std::errc() || end != digits.data() + digits.size() || port < 0 || port > 65535)
        return -1;
    return port;
}

}  // namespace

std::string_view urlDirectory(std::string_view url) {
    if (size_t scheme = url.find("://"); scheme != std::string_view::npos) {
        size_t slash = url.find('/', scheme + 3);
        url = slash == std::string_view::npos ? std::string_view() : url.substr(slash);
    }
    url = url.substr(0, url.find('?'));
    size_t last = url.rfind('/');
    return last == std::string_view::npos ? std::string_view("/") : url.substr(0, last + 1);
}

void resolveRedirectLocation(std::string_view location, const RedirectBase& base,
                             RedirectTarget& out) {
    std::string_view rest = location;
    out.hasScheme = true;
    if (startsWithNoCase(rest, "http://")) {
        out.secure = false;
        out.port = 80;
        rest.remove_prefix(7);
    } else if (startsWithNoCase(rest, "https://")) {
        out.secure = true;
        out.port = 443;
        rest.remove_prefix(8);
    } else {
        out.hasScheme = false;
        // A path on the host just contacted keeps that exchange's security.
        out.secure = base.secure;
    }

    size_t hostEnd = out.hasScheme ? rest.find_first_of("/:\\") : 0;
    // An IPv6 literal keeps its brackets (the Host header wants them) and its colons.
    if (out.hasScheme && rest.starts_with('[')) {
        const size_t close = rest.find(']');
        if (close != std::string_view::npos && close < rest.find_first_of("/\\"))
            hostEnd = close + 1;
    }
    if (hostEnd == std::string_view::npos) hostEnd = rest.size();
    if (hostEnd == 0) {
        out.host.assign(base.host);
        out.port = base.port;
    } else {
        out.host.assign(rest.substr(0, hostEnd));
    }
    rest.remove_prefix(hostEnd);
    if (out.hasScheme && !rest.empty() && rest[0] == ':') {
        size_t slash = rest.find('/');
        out.port = parsePort(rest.substr(1, slash == std::string_view::npos ? slash : slash - 1),
                             out.port);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }

    out.path.clear();
    if (rest.empty()) {
        out.path = "/";
    } else {
        if (rest[0] != '/') out.path.assign(base.directory);
        out.path.append(rest);
    }
    for (char& c : out.path)
        if (c == ' ') c = '+';
}

void appendAbsoluteUrl(const RedirectTarget& target, std::string& out) {
    out.append(target.secure ? "https://" : "http://");
    out.append(target.host);
    if (target.port != (target.secure ? 443 : 80)) {
        char digits[16];
        auto [end, ec] = std::to_chars(digits, digits + sizeof digits, target.port);
        out.push_back(':');
        out.append(digits, end);
    }
    out.append(target.path);
}

}  // namespace velk
