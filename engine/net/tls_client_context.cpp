#include "net/tls_client_context.h"

#include <openssl/ssl.h>

namespace velk::net {
namespace {

SSL_CTX* makeNegotiatingContext() {
    if (OPENSSL_init_ssl(0, nullptr) != 1) return nullptr;
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (ctx == nullptr) return nullptr;
    // Load testing talks to servers with self-signed certificates: no verification.
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
    // Many servers close without close_notify; treat that as a plain end of stream,
    // as the plain socket does.
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    return ctx;
}

}  // namespace

ssl_ctx_st* TlsClientContext::forVersion(int sslVersion, std::string& why) {
    if (sslVersion == 0) {
        why = "SSL 2.0 is not supported; use sslver=1\r\n";
        return nullptr;
    }
    if (sslVersion != 1) {
        why =
            "sslver=" + std::to_string(sslVersion) + " names no secure protocol; use sslver=1\r\n";
        return nullptr;
    }
    // Created once and kept for the life of the process.
    static SSL_CTX* negotiating = makeNegotiatingContext();
    if (negotiating == nullptr) why = "Cannot create the TLS context.\r\n";
    return negotiating;
}

}  // namespace velk::net
