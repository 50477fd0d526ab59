#pragma once
// Process-wide TLS client set-up.  OpenSSL is initialised once for the process and
// one client context per protocol choice is created on first use and then shared by
// every connection: a configured SSL_CTX is safe for concurrent use, and nothing is
// ever torn down while another user may hold a session.  Safe from any thread.
#include <string>

struct ssl_ctx_st;

namespace velk::net {

class TlsClientContext {
public:
    // The shared client context for the sslver option: 1 negotiates whatever TLS
    // version OpenSSL allows.  SSL 2.0 (0) no longer exists and other values name no
    // protocol: then nullptr, with why set to a line for the user's log.
    static ssl_ctx_st* forVersion(int sslVersion, std::string& why);
};

}  // namespace velk::net
