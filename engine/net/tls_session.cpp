#include "net/tls_session.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include "net/ipv4_resolver.h"
#include "net/no_signal_bio.h"
#include "net/readiness.h"
#include "platform/clock.h"

namespace velk::net {

std::unique_ptr<TlsSession> TlsSession::handshake(ssl_ctx_st* ctx, int fd,
                                                  const std::string& serverName, int timeoutMillis,
                                                  const AbortWatch* abort) {
    if (ctx == nullptr || fd < 0) return nullptr;
    SSL* ssl = SSL_new(ctx);
    if (ssl == nullptr) return nullptr;
    std::unique_ptr<TlsSession> session(new TlsSession(ssl));
    BIO* bio = newNoSignalSocketBio(fd);
    if (bio == nullptr) return nullptr;
    SSL_set_bio(ssl, bio, bio);
    // Servers pick certificates by name; an address is not a valid server name.
    if (!serverName.empty() && !isNumericIPv4(serverName) &&
        SSL_set_tlsext_host_name(ssl, serverName.c_str()) != 1) {
        return nullptr;
    }
    ERR_clear_error();
    const int64_t deadline = platform::tickMillis() + (timeoutMillis > 0 ? timeoutMillis : 0);
    for (;;) {
        int rc = SSL_connect(ssl);
        if (rc == 1) return session;
        int err = SSL_get_error(ssl, rc);
        Readiness what;
        if (err == SSL_ERROR_WANT_READ) {
            what = Readiness::kRead;
        } else if (err == SSL_ERROR_WANT_WRITE) {
            what = Readiness::kWrite;
        } else {
            ERR_clear_error();
            return nullptr;
        }
        int64_t left = deadline - platform::tickMillis();
        if (left <= 0 || waitForSocket(fd, what, int(left), abort) <= 0) return nullptr;
    }
}

TlsSession::~TlsSession() {
    SSL_free(m_ssl);
}

namespace {

// After a call that wants to read or write on a blocking socket (the socket's
// time-out slice passed, or a signal came): whether to call again.
bool retryAfterWant(const WaitLimit& limit) {
    const int reason = limit.stopReason();
    if (reason == 0) return true;
    errno = reason;
    return false;
}

}  // namespace

int TlsSession::read(void* buffer, int size, const WaitLimit& limit) {
    if (size <= 0) return 0;
    for (;;) {
        int n = SSL_read(m_ssl, buffer, size);
        if (n > 0) return n;
        int err = SSL_get_error(m_ssl, n);
        if ((err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) && retryAfterWant(limit))
            continue;
        ERR_clear_error();
        return err == SSL_ERROR_ZERO_RETURN ? 0 : -1;
    }
}

int TlsSession::write(const void* data, int length, const WaitLimit& limit) {
    if (length <= 0) return 0;
    for (;;) {
        int n = SSL_write(m_ssl, data, length);
        if (n > 0) return n;
        int err = SSL_get_error(m_ssl, n);
        if ((err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) && retryAfterWant(limit))
            continue;
        ERR_clear_error();
        return -1;
    }
}

bool TlsSession::hasBufferedInput() const {
    return SSL_want(m_ssl) == SSL_READING || SSL_has_pending(m_ssl) != 0;
}

void TlsSession::shutdown() {
    SSL_shutdown(m_ssl);
    ERR_clear_error();
}

}  // namespace velk::net
