#pragma once
// A private key and self-signed certificate for "localhost", made in memory when first
// asked for, for the TLS modes of the test servers.  Safe from any thread.
#include <memory>

struct ssl_ctx_st;
struct x509_st;
struct evp_pkey_st;

namespace velk::test {

struct SslCtxFree {
    void operator()(ssl_ctx_st* ctx) const;
};
using ServerContextPtr = std::unique_ptr<ssl_ctx_st, SslCtxFree>;

class TestCertificate {
public:
    // The process-wide certificate (EC P-256, valid from an hour ago for 30 days).
    static const TestCertificate& shared();
    ~TestCertificate();
    TestCertificate(const TestCertificate&) = delete;
    TestCertificate& operator=(const TestCertificate&) = delete;

    // A new server context presenting this certificate.
    ServerContextPtr newServerContext() const;

private:
    TestCertificate();
    evp_pkey_st* m_key = nullptr;
    x509_st* m_certificate = nullptr;
};

}  // namespace velk::test
