// Opening a connection: the address, the TCP connect, the TLS handshake, and
// taking over a socket opened elsewhere.  The stream itself (waits, reads,
// writes, read-ahead, pacing) is in connection.cpp.
#include <cerrno>
#include <memory>
#include <string>
#include <utility>

#include "net/connection.h"
#include "net/ipv4_resolver.h"
#include "net/plain_socket_transport.h"
#include "net/tls_client_context.h"
#include "net/tls_transport.h"

namespace velk::net {

Status Connection::init(const std::string& host, int port, bool secure, int sslVersion,
                        int timeoutSeconds) {
    m_timeout = timeoutSeconds;
    m_secure = secure;
    m_host = host;
    choosePolicy();
    if (secure) {
        std::string why;
        m_tlsContext = TlsClientContext::forVersion(sslVersion, why);
        if (m_tlsContext == nullptr) return Status(StatusCode::kInvalid, std::move(why));
    }
    // A port outside 0..65535 would silently become another port.
    if (port < 0 || port > 65535) {
        return Status(StatusCode::kInvalid,
                      "Port " + std::to_string(port) + " is out of range.\r\n");
    }
    if (!lookupAddress(host, uint16_t(port), m_address)) return Status(StatusCode::kNetwork);
    return Status::ok();
}

Status Connection::connect() {
    close();
    int error = 0;
    std::unique_ptr<Transport> stack =
        PlainSocketTransport::connect(m_address, secondsToPollMillis(m_timeout), m_abort, error);
    if (!stack) {
        m_lastSocketError = error;
        return socketFailure();
    }
    if (m_secure) {
        StatusOr<std::unique_ptr<Transport>> tls =
            handshakeTls(std::move(stack), m_tlsContext, m_host);
        if (!tls) return tls.status();
        stack = std::move(tls.value());
    }
    if (Status open = opened(std::move(stack)); !open) return open;
    // A fresh plain stream has an empty send buffer; a TLS handshake has just written.
    m_knownWritable = !m_secure;
    return Status::ok();
}

Status Connection::startTls(int sslVersion, const std::string& serverName) {
    if (!isOpen() || !m_plain) return Status(StatusCode::kNetwork);
    std::string why;
    ssl_ctx_st* context = TlsClientContext::forVersion(sslVersion, why);
    if (context == nullptr) {
        close();
        return Status(StatusCode::kInvalid, std::move(why));
    }
    // The handshake waits for readiness itself, on a non-blocking socket.
    std::unique_ptr<Transport> stack = std::move(m_stack);
    close();
    if (!setSocketBlocking(stack->fd(), false)) {
        m_lastSocketError = errno;
        return Status(StatusCode::kNetwork);
    }
    StatusOr<std::unique_ptr<Transport>> tls = handshakeTls(std::move(stack), context, serverName);
    if (!tls) return tls.status();
    return opened(std::move(tls.value()));
}

StatusOr<std::unique_ptr<Transport>> Connection::handshakeTls(std::unique_ptr<Transport> lower,
                                                              ssl_ctx_st* context,
                                                              const std::string& serverName) {
    std::unique_ptr<Transport> tls =
        TlsTransport::over(std::move(lower), context, serverName, m_offerHttp2);
    if (!tls) {
        m_lastSocketError = errno;
        return Status(StatusCode::kNetwork);
    }
    const StatusCode done = finishHandshake(*tls, secondsToPollMillis(m_timeout), m_abort);
    if (done == StatusCode::kTimeout) {
        m_lastSocketError = ETIMEDOUT;
        return Status(StatusCode::kTimeout);
    }
    if (done != StatusCode::kOk) return readinessResult(done);
    return tls;
}

Status Connection::attach(int fd, int timeoutSeconds) {
    close();
    SocketHandle socket(fd);
    // As connect() leaves a socket, for the choice of how to wait on it.
    if (!socket.valid() || !setSocketBlocking(fd, false)) return Status(StatusCode::kNetwork);
    setNoDelay(fd);
    m_timeout = timeoutSeconds;
    m_secure = false;
    return opened(std::make_unique<PlainSocketTransport>(std::move(socket)));
}

Status Connection::opened(std::unique_ptr<Transport> stack) {
    if (!m_waiter.choose(stack->fd())) {
        m_lastSocketError = errno;
        m_waiter.reset();
        return Status(StatusCode::kNetwork);
    }
    m_readAhead.setPooled(m_waiter.onLoop());
    m_plain = stack->isPlain();
    m_stack = std::move(stack);
    ++m_openCount;
    choosePolicy();
    return Status::ok();
}

void Connection::releaseTls() {
    if (m_secure) m_tlsContext = nullptr;
}

}  // namespace velk::net
