#include "http/redirect_follower.h"

#include <limits>

#include "http/connection_selector.h"
#include "http/http2_exchange.h"
#include "http/http_session.h"
#include "http/request_composer.h"
#include "http/resend_rule.h"
#include "http/response_reader.h"
#include "http/status_line.h"
#include "script/http_method.h"

namespace velk {
namespace {

int32_t addTimes(int32_t a, int32_t b) {
    int64_t sum = int64_t(a) + b;
    return sum > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                     : int32_t(sum);
}

// Blanks would split the request line.
void appendWithPlus(TextBuffer& out, std::string_view text) {
    for (size_t start = 0; start < text.size();) {
        size_t blank = text.find(' ', start);
        out.append(text.substr(start, blank == std::string_view::npos ? blank : blank - start));
        if (blank == std::string_view::npos) break;
        out.append("+");
        start = blank + 1;
    }
}

// Only the path: scheme, host and query may differ from run to run (a session
// value in the query) without the page being another one.
void rememberLocationPath(RedirectScratch& scratch, std::string_view location) {
    scratch.redirected = true;
    if (const size_t scheme = location.find("://"); scheme != std::string_view::npos) {
        const size_t slash = location.find('/', scheme + 3);
        location = slash == std::string_view::npos ? std::string_view("/") : location.substr(slash);
    }
    location = location.substr(0, location.find_first_of("?#"));
    scratch.lastPath.assign(location.substr(0, kMaxPreviousUrl));
}

}  // namespace

ResponseRecord followRedirect(HttpSession& s, std::string_view location, RedirectOrigin& origin) {
    const GeneralOptions& o = s.options;
    RedirectScratch& scratch = s.redirect;
    RedirectTarget& target = scratch.target;
    resolveRedirectLocation(
        location, RedirectBase{s.currentHost, origin.port, origin.secure, scratch.directory},
        target);

    RedirectConnection via;
    if (selectConnectionForRedirect(s, target.host, target.port, target.secure, origin.port, via) <
        0)
        return ResponseRecord::failed(StatusCode::kNetwork);

    // Everything that reads location (a view into the response) happens before
    // the response buffer is emptied.
    const bool viaProxy = s.proxy.kind != net::ProxyKind::kNone;
    TextBuffer& out = s.request;
    out.clear();
    out.append(methodName(scratch.method));
    out.append(" ");
    if (viaProxy && target.hasScheme) {
        appendWithPlus(out, location);
    } else if (viaProxy) {
        // A proxy cannot route a bare path: it gets the URL the path resolves to.
        scratch.url.clear();
        appendAbsoluteUrl(target, scratch.url);
        out.append(scratch.url);
    } else {
        out.append(target.path);
    }
    out.append(o.httpver ? " HTTP/1.1\r\n" : " HTTP/1.0\r\n");
    if (scratch.withBody) out.append(scratch.bodyHeaders);
    composeHeaders(s, target.host, target.port);
    const bool keepAlive = o.keepalive != 0 && o.httpver != 0 && !via.temporary;
    if (!o.httpver) {
        out.append("\r\n");
    } else {
        out.append(viaProxy ? "Proxy-Connection: " : "Connection: ");
        out.append(keepAlive ? "Keep-Alive\r\n\r\n" : "close\r\n\r\n");
    }
    if (scratch.withBody) out.append(s.data.view());
    if (s.log.isOpen()) {
        s.log.write("\nRedirect:\n");
        s.log.write(out.view());
        s.log.write("\n");
        s.log.flush();
    }

    s.response.clear();
    // A resend reopens the user's connection; through a proxy the path would
    // need its handshake again, so the first failure stands.
    ResponseRecord record = exchangeResendingOnce(s, *via.connection, out.view(), keepAlive, [&] {
        if (s.proxy.kind != net::ProxyKind::kNone) return false;
        if (via.connection->connect().isOk()) return true;
        s.log.write("Failed to connect to remote host!\r\n");
        return false;
    });
    if (via.temporary) {
        via.temporary->close();
        via.temporary->releaseTls();
    }
    origin.port = target.port;
    origin.secure = target.secure;
    scratch.directory.assign(urlDirectory(target.path));
    return record;
}

ResponseRecord followRedirects(HttpSession& s, RedirectOrigin origin, ResponseRecord record,
                               BodyRef& body) {
    record.recordCookies(s.response.view(), s.cookies);
    body = record.body;
    s.redirect.redirected = false;
    s.redirect.lastPath.clear();
    s.redirect.lastLocation.clear();
    s.redirect.directory.assign(urlDirectory(s.previousUrl));
    int32_t time = record.time;
    int32_t measured = record.measured;
    for (int hops = 0; isRedirectStatus(record.httpStatus) && !s.options.noredir; ++hops) {
        if (hops == kMaxRedirects) {
            record.status = Status(StatusCode::kHttp);
            return record;
        }
        ++s.requestsMade;
        s.counters.httpRequests.fetch_add(1, std::memory_order_relaxed);
        rememberLocationPath(s.redirect, record.location);
        s.redirect.lastLocation.assign(record.location.substr(0, kMaxPreviousUrl));
        if (!keepsMethod(record.httpStatus)) {
            // As browsers do: the body is dropped and the page fetched; a HEAD
            // stays a HEAD, since its caller wants no body.
            if (s.redirect.method != kMethodHead) s.redirect.method = kMethodGet;
            s.redirect.withBody = false;
        }
        ResponseRecord next = followRedirect(s, record.location, origin);
        if (!next.status) {
            body.reset();
            return next;
        }
        if (s.options.sumredirecttime) {
            time = addTimes(time, next.time);
            measured = addTimes(measured, next.measured);
        }
        s.counters.countStatus(next.httpStatus);
        if (s.log.isOpen()) {
            s.log.write("Response:\r\n");
            s.log.write(s.response.view());
            s.log.write("\r\n");
        }
        record = std::move(next);
        body = record.body;
        if (!isSuccessStatus(record.httpStatus)) {
            record.status = Status(StatusCode::kHttp);
            return record;
        }
        record.recordCookies(s.response.view(), s.cookies);
    }
    record.time = time;
    record.measured = measured;
    return record;
}

}  // namespace velk
