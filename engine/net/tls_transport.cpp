#include "net/tls_transport.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include "net/ipv4_resolver.h"
#include "net/transport_bio.h"

namespace velk::net {

std::unique_ptr<TlsTransport> TlsTransport::over(std::unique_ptr<Transport> lower, ssl_ctx_st* ctx,
                                                 const std::string& serverName, bool offerHttp2) {
    if (ctx == nullptr || !lower || lower->fd() < 0) return nullptr;
    SSL* ssl = SSL_new(ctx);
    if (ssl == nullptr) return nullptr;
    std::unique_ptr<TlsTransport> tls(new TlsTransport(std::move(lower), ssl));
    BIO* bio = newTransportBio(*tls->m_lower);
    if (bio == nullptr) return nullptr;
    SSL_set_bio(ssl, bio, bio);
    // Servers pick certificates by name; an address is not a valid server name.
    if (!serverName.empty() && !isNumericAddress(serverName) &&
        SSL_set_tlsext_host_name(ssl, serverName.c_str()) != 1) {
        return nullptr;
    }
    // Length-prefixed protocol names, the preferred first.
    static constexpr unsigned char kH2ThenHttp11[] = "\x02h2\x08http/1.1";
    if (offerHttp2 && SSL_set_alpn_protos(ssl, kH2ThenHttp11, sizeof kH2ThenHttp11 - 1) != 0)
        return nullptr;
    ERR_clear_error();
    return tls;
}

TlsTransport::~TlsTransport() {
    SSL_free(m_ssl);
}

int TlsTransport::failure(int rc, bool endIsZero) {
    const int err = SSL_get_error(m_ssl, rc);
    if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
        m_wants = err == SSL_ERROR_WANT_READ ? Readiness::kRead : Readiness::kWrite;
        return kWouldBlock;
    }
    ERR_clear_error();
    return endIsZero && err == SSL_ERROR_ZERO_RETURN ? 0 : -1;
}

int TlsTransport::handshake() {
    const int rc = SSL_connect(m_ssl);
    return rc == 1 ? 0 : failure(rc, false);
}

int TlsTransport::read(void* buffer, int size) {
    if (size <= 0) return 0;
    const int n = SSL_read(m_ssl, buffer, size);
    return n > 0 ? n : failure(n, true);
}

int TlsTransport::write(const void* data, int length) {
    if (length <= 0) return 0;
    const int n = SSL_write(m_ssl, data, length);
    return n > 0 ? n : failure(n, false);
}

bool TlsTransport::hasBufferedInput() const {
    return SSL_want(m_ssl) == SSL_READING || SSL_has_pending(m_ssl) != 0;
}

std::string_view TlsTransport::negotiatedProtocol() const {
    const unsigned char* name = nullptr;
    unsigned int length = 0;
    SSL_get0_alpn_selected(m_ssl, &name, &length);
    return name == nullptr ? std::string_view()
                           : std::string_view(reinterpret_cast<const char*>(name), length);
}

void TlsTransport::shutdown() {
    SSL_shutdown(m_ssl);
    ERR_clear_error();
}

}  // namespace velk::net
