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

int Connection::init(const std::string& host, int port, bool secure, int sslVersion,
                     int timeoutSeconds) {
    m_timeout = timeoutSeconds;
    m_secure = secure;
    m_host = host;
    m_lastError.clear();
    choosePolicy();
    if (secure) {
        m_tlsContext = TlsClientContext::forVersion(sslVersion, m_lastError);
        if (m_tlsContext == nullptr) return -1;
    }
    // A port outside 0..65535 would silently become another port.
    if (port < 0 || port > 65535) {
        m_lastError = "Port " + std::to_string(port) + " is out of range.\r\n";
        return -1;
    }
    if (!lookupAddress(host, uint16_t(port), m_address)) return -1;
    return 0;
}

int Connection::connect() {
    close();
    int error = 0;
    std::unique_ptr<Transport> stack =
        PlainSocketTransport::connect(m_address, secondsToPollMillis(m_timeout), m_abort, error);
    if (!stack) {
        m_lastSocketError = error;
        return -1;
    }
    if (m_secure && !(stack = handshakeTls(std::move(stack), m_tlsContext, m_host))) return -1;
    if (!opened(std::move(stack))) return -1;
    // A fresh plain stream has an empty send buffer; a TLS handshake has just written.
    m_knownWritable = !m_secure;
    return 0;
}

int Connection::startTls(int sslVersion, const std::string& serverName) {
    if (!isOpen() || !m_plain) return -1;
    m_lastError.clear();
    ssl_ctx_st* context = TlsClientContext::forVersion(sslVersion, m_lastError);
    if (context == nullptr) {
        close();
        return -1;
    }
    // The handshake waits for readiness itself, on a non-blocking socket.
    std::unique_ptr<Transport> stack = std::move(m_stack);
    close();
    if (!setSocketBlocking(stack->fd(), false)) {
        m_lastSocketError = errno;
        return -1;
    }
    if (!(stack = handshakeTls(std::move(stack), context, serverName))) return -1;
    return opened(std::move(stack)) ? 0 : -1;
}

std::unique_ptr<Transport> Connection::handshakeTls(std::unique_ptr<Transport> lower,
                                                    ssl_ctx_st* context,
                                                    const std::string& serverName) {
    std::unique_ptr<Transport> tls =
        TlsTransport::over(std::move(lower), context, serverName, m_offerHttp2);
    if (!tls) {
        m_lastSocketError = errno;
        return nullptr;
    }
    const StatusCode done = finishHandshake(*tls, secondsToPollMillis(m_timeout), m_abort);
    if (done == StatusCode::kTimeout) {
        m_lastSocketError = ETIMEDOUT;
        return nullptr;
    }
    if (done != StatusCode::kOk) {
        readinessResult(done);
        return nullptr;
    }
    return tls;
}

int Connection::attach(int fd, int timeoutSeconds) {
    close();
    SocketHandle socket(fd);
    // As connect() leaves a socket, for the choice of how to wait on it.
    if (!socket.valid() || !setSocketBlocking(fd, false)) return -1;
    setNoDelay(fd);
    m_timeout = timeoutSeconds;
    m_secure = false;
    return opened(std::make_unique<PlainSocketTransport>(std::move(socket))) ? 0 : -1;
}

bool Connection::opened(std::unique_ptr<Transport> stack) {
    if (!m_waiter.choose(stack->fd())) {
        m_lastSocketError = errno;
        m_waiter.reset();
        return false;
    }
    m_readAhead.setPooled(m_waiter.onLoop());
    m_plain = stack->isPlain();
    m_stack = std::move(stack);
    ++m_openCount;
    choosePolicy();
    return true;
}

void Connection::releaseTls() {
    if (m_secure) m_tlsContext = nullptr;
}

}  // namespace velk::net
