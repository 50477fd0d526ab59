#pragma once
// A TLS client layer over the transport below it (the plain socket, or a tunnel a
// proxy handshake has made on it): records go through a BIO over that transport,
// so TLS composes over whatever carries the stream.  Owns its SSL object and the
// layers below.  Follows the Transport contract: handshake(), read() and write()
// never wait and give kWouldBlock with wants() instead.  Belongs to one
// connection; not safe for concurrent use.
#include <memory>
#include <string>

#include "net/transport.h"

struct ssl_st;
struct ssl_ctx_st;

namespace velk::net {

class TlsTransport final : public Transport {
public:
    // A client session over lower, not yet shaken hands; serverName goes out as SNI
    // unless it is empty or an address.  offerHttp2: the hello offers "h2" before
    // "http/1.1" by ALPN (otherwise no ALPN is sent, as before).  nullptr when ctx
    // is null or OpenSSL refuses.
    static std::unique_ptr<TlsTransport> over(std::unique_ptr<Transport> lower, ssl_ctx_st* ctx,
                                              const std::string& serverName,
                                              bool offerHttp2 = false);
    ~TlsTransport() override;
    TlsTransport(const TlsTransport&) = delete;
    TlsTransport& operator=(const TlsTransport&) = delete;

    int read(void* buffer, int size) override;
    int write(const void* data, int length) override;
    int handshake() override;
    Readiness wants() const override { return m_wants; }
    // Decrypted bytes are buffered, or the session stopped in the middle of
    // reading a record.
    bool hasBufferedInput() const override;
    // Sends close_notify; does not wait for the peer's.
    void shutdown() override;
    int fd() const override { return m_lower->fd(); }
    std::string_view negotiatedProtocol() const override;

private:
    TlsTransport(std::unique_ptr<Transport> lower, ssl_st* ssl)
        : m_lower(std::move(lower)), m_ssl(ssl) {}
    // The result for an SSL call that returned rc <= 0.
    int failure(int rc, bool endIsZero);

    std::unique_ptr<Transport> m_lower;
    ssl_st* m_ssl;
    Readiness m_wants = Readiness::kRead;
};

}  // namespace velk::net
