#include "support/test_certificate.h"

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <stdexcept>

namespace velk::test {

void SslCtxFree::operator()(ssl_ctx_st* ctx) const {
    SSL_CTX_free(ctx);
}

const TestCertificate& TestCertificate::shared() {
    static const TestCertificate certificate;
    return certificate;
}

TestCertificate::TestCertificate() {
    m_key = EVP_EC_gen("P-256");
    m_certificate = X509_new();
    if (m_key == nullptr || m_certificate == nullptr) throw std::runtime_error("no key");
    X509_set_version(m_certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(m_certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(m_certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(m_certificate), 30L * 24 * 3600);
    X509_set_pubkey(m_certificate, m_key);
    X509_NAME* name = X509_get_subject_name(m_certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(m_certificate, name);
    if (X509_sign(m_certificate, m_key, EVP_sha256()) == 0) {
        throw std::runtime_error("cannot sign test certificate");
    }
}

TestCertificate::~TestCertificate() {
    X509_free(m_certificate);
    EVP_PKEY_free(m_key);
}

ServerContextPtr TestCertificate::newServerContext() const {
    ServerContextPtr ctx(SSL_CTX_new(TLS_server_method()));
    if (!ctx || SSL_CTX_use_certificate(ctx.get(), m_certificate) != 1 ||
        SSL_CTX_use_PrivateKey(ctx.get(), m_key) != 1) {
        throw std::runtime_error("cannot make the test server's TLS context");
    }
    return ctx;
}

}  // namespace velk::test
