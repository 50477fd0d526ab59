#include "http/connection_selector.h"

#include "base/ascii.h"
#include "http/effective_request.h"
#include "http/http_session.h"
#include "net/proxy_handshake.h"
#include "script/request_def.h"

namespace velk {
namespace {

Status initConnection(HttpSession& s, const std::string& host, int32_t port, bool secure) {
    s.connectionHost = host;
    s.connectionPort = port;
    Status r = s.connection.init(host, port, secure, s.options.sslver, s.options.timeout);
    if (!r && !r.message().empty()) s.log.write(r.message());
    // Without a reason of its own, the name did not resolve: the host says so at the end.
    if (!r && r.message().empty()) s.counters.noteUnresolved(host);
    return r;
}

// Whether the proxy kind opens a tunnel to the target (CONNECT or SOCKS), over
// which a secure request runs TLS with the target itself.
bool isTunnel(net::ProxyKind kind) {
    return kind == net::ProxyKind::kHttpConnect || kind == net::ProxyKind::kSocks4 ||
           kind == net::ProxyKind::kSocks5;
}

// Runs the proxy handshake on a freshly connected conn and, for a secure request
// through a tunnel, TLS with the target over it.  0, or -1 logged.
int openPath(HttpSession& s, net::Connection& conn, const std::string& host, int32_t port,
             bool secure) {
    std::string handshakeLog;
    int h = net::proxyHandshake(conn, host, port, s.proxy.credentials, s.proxy.kind, handshakeLog);
    s.log.write(handshakeLog);
    if (h < 0) {
        s.log.write("Failed to connect to remote host.\r\n");
        return -1;
    }
    if (!secure || !isTunnel(s.proxy.kind)) return 0;
    if (const Status tls = conn.startTls(s.options.sslver, host); !tls) {
        s.log.write(tls.message());
        s.log.write("Failed to connect to remote host!\r\n");
        return -1;
    }
    return 0;
}

}  // namespace

Status setUpUserConnection(HttpSession& s) {
    const GeneralOptions& o = s.options;
    if (!net::parseProxySpec(o.proxy, s.proxy)) s.proxy = net::ProxySpec{};
    Status r;
    if (s.proxy.kind != net::ProxyKind::kNone) {
        r = initConnection(s, s.proxy.host, s.proxy.port, false);
    } else {
        int32_t port = o.secure && o.port == 80 ? 443 : o.port;
        r = initConnection(s, o.server, port, o.secure != 0);
    }
    s.aimedAtMainServer = true;
    s.connection.setNoWait(o.nowait != 0);
    s.connection.setSpeedLimit(o.maxspeed / 8);
    // A forward proxy is spoken to in HTTP/1.1; everything else may offer HTTP/2.
    s.connection.setOfferHttp2(o.http2 != 0 && s.proxy.kind != net::ProxyKind::kHttp);
    return r;
}

bool requestIsSecure(const HttpSession& s, const EffectiveRequest& r) {
    if (r.secure == 2) return true;
    if (r.secure == 0) return s.options.secure != 0;
    return false;
}

int selectConnectionForRequest(HttpSession& s, const EffectiveRequest& r, bool secure) {
    net::Connection& conn = s.connection;
    // A kept-alive connection the server has dropped meanwhile is reopened rather
    // than failing the request on a dead socket.
    // So is a tunnel whose TLS does not match the request's.
    // And an HTTP/2 session the server has ended meanwhile (GOAWAY).
    if (conn.isReusable() &&
        (!conn.stillUsable() || (isTunnel(s.proxy.kind) && conn.carriesTls() != secure) ||
         (s.http2 && s.http2->hasRun(conn) && !s.http2->refresh()))) {
        if (s.http2) s.http2->close();
        conn.setReusable(false);
        conn.close();
    }
    s.target.copyTo(s.current);
    const Target& current = s.current;
    const bool viaProxy = s.proxy.kind != net::ProxyKind::kNone;
    if (viaProxy || (!r.server && r.port == current.port)) {
        // A secure request never goes over the plain connection, nor the reverse.
        // Nor does it go over a connection to another port: the shared target may
        // have moved to this port (another user's request) while this user's
        // connection still leads to the port it was opened for.
        const bool elsewhere = !viaProxy && (s.connectionPort != r.port ||
                                             !equalsNoCase(s.connectionHost, current.server));
        if (!s.aimedAtMainServer || elsewhere || (!viaProxy && conn.isSecure() != secure)) {
            conn.setReusable(false);
            conn.close();
            if (!initConnection(s, current.server, r.port, secure)) {
                s.log.printf("Failed to resolve hostname:%s!\r\n", current.server.c_str());
                return -1;
            }
            s.aimedAtMainServer = true;
        }
    } else {
        conn.close();
        conn.setReusable(false);
        s.aimedAtMainServer = false;
        const std::string& host = r.server ? *r.server : current.server;
        if (!initConnection(s, host, r.port, secure)) {
            s.log.printf("Failed to resolve hostname:%s!\r\n", host.c_str());
            return -1;
        }
    }
    if (!conn.isReusable()) {
        if (!conn.connect()) {
            s.log.write("Failed to connect to remote host!\r\n");
            return -1;
        }
        const std::string& target = r.server ? *r.server : current.server;
        if (openPath(s, conn, target, r.port, secure) < 0) return -1;
    }
    return 0;
}

int selectConnectionForRedirect(HttpSession& s, const std::string& host, int32_t port, bool secure,
                                int32_t lastPort, RedirectConnection& out) {
    net::Connection& conn = s.connection;
    const net::ProxyKind kind = s.proxy.kind;
    bool reuse;
    if (kind == net::ProxyKind::kHttp) {
        reuse = true;
    } else if (kind == net::ProxyKind::kNone) {
        // Compared with where this user's connection really goes, not with the
        // target shared by all users, which another user may have moved.
        reuse = conn.isReusable() && conn.isSecure() == secure && port == s.connectionPort &&
                equalsNoCase(host, s.connectionHost);
    } else {
        // A tunnel leads to one host: the one the last exchange went to.
        reuse = conn.isReusable() && port == lastPort && equalsNoCase(host, s.currentHost) &&
                conn.carriesTls() == secure;
    }
    if (reuse) {
        if (!conn.isReusable() && !conn.connect()) {
            s.log.write("Failed to connect to remote host!\r\n");
            return -1;
        }
        out.connection = &conn;
        return 0;
    }
    conn.close();
    conn.setReusable(false);
    const bool tunnel = kind != net::ProxyKind::kNone;
    auto temporary = std::make_unique<net::Connection>();
    const Status initResult =
        tunnel ? temporary->init(s.proxy.host, s.proxy.port, false, s.options.sslver,
                                 s.options.timeout)
               : temporary->init(host, port, secure, s.options.sslver, s.options.timeout);
    if (!initResult) {
        s.log.write(initResult.message());
        return -1;
    }
    temporary->setNoWait(conn.noWait());
    temporary->setAbortWatch(conn.abortWatch());
    temporary->setSpeedLimit(conn.speedLimit());
    temporary->setOfferHttp2(conn.offersHttp2());
    if (!temporary->connect()) {
        s.log.write("Failed to connect to remote host!\r\n");
        return -1;
    }
    if (tunnel && openPath(s, *temporary, host, port, secure) < 0) return -1;
    out.temporary = std::move(temporary);
    out.connection = out.temporary.get();
    return 0;
}

}  // namespace velk
